#!/usr/bin/env bash
# Unpacks a Debian source package with Debian's patches applied, for the build scripts that build a
# library from Debian's own sources (build-windows.sh: libpng; package-linux.sh: SDL2; build-web.sh:
# zlib, libpng, FreeType). Source it, then call: deb_source PACKAGE FOLDER [TAG] - empties FOLDER,
# leaves the unpacked tree in it and prints its path. Adds a deb-src entry beside the system's own
# entry for the Debian archive (same URIs, suites and key) when apt knows no sources yet. TAG
# prefixes its messages.
# Relies on: apt-get (root or sudo), awk.

# A deb-src entry beside the system's deb entry for the Debian archive.
deb_source_add_entry() {
  local tag="$1"
  local sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  local list=/etc/apt/sources.list.d/tarnwood-deb-src.sources
  local entry=""
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    # The deb822 stanzas of the main archive (not the security one), as deb-src.
    entry="$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
                  /Types:[^\n]*deb/ && /URIs:[^\n]*\/debian\/?(\n|$)/ {
                    sub(/Types:[^\n]*/, "Types: deb-src"); print }' /etc/apt/sources.list.d/debian.sources)"
  fi
  if [[ -z "$entry" && -f /etc/apt/sources.list ]]; then
    local line
    line="$(grep -E '^deb (\[[^]]*\] )?[a-z]+://[^ ]*/debian/? bookworm ' /etc/apt/sources.list | head -n1 || true)"
    if [[ -n "$line" ]]; then
      echo "$tag: adding ${line/deb /deb-src } to /etc/apt/sources.list.d/tarnwood-deb-src.list" >&2
      echo "${line/deb /deb-src }" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/tarnwood-deb-src.list > /dev/null
      "${sudo_cmd[@]}" apt-get update -qq >&2
      return
    fi
  fi
  if [[ -z "$entry" ]]; then
    entry="Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
  fi
  echo "$tag: adding a deb-src entry for the Debian archive ($list)" >&2
  printf '%s\n' "$entry" | "${sudo_cmd[@]}" tee "$list" > /dev/null
  "${sudo_cmd[@]}" apt-get update -qq >&2
}

# deb_source PACKAGE FOLDER [TAG]: the patched source tree of PACKAGE, unpacked in FOLDER.
deb_source() {
  local package="$1" folder="$2" tag="${3:-deb-source}"
  rm -rf "$folder"
  mkdir -p "$folder"
  if ! apt-cache showsrc "$package" 2> /dev/null | grep -q "^Package: $package\$"; then
    deb_source_add_entry "$tag"
  fi
  (cd "$folder" && apt-get source -qq "$package" > "$folder/source.log" 2>&1) ||
    { cat "$folder/source.log" >&2; return 1; }
  local src
  src="$(find "$folder" -mindepth 1 -maxdepth 1 -type d | head -n1)"
  [[ -n "$src" && -d "$src/debian" ]] || { echo "$tag: no patched $package source" >&2; return 1; }
  echo "$src"
}
