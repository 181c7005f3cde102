# Sourced by the cross-build scripts (build-windows.sh, build-web.sh): unpacks a Debian source
# package, Debian's patches applied, adding a deb-src entry beside the system's deb entry for the
# Debian archive when apt has none. Expects `sudo_cmd` (an array, empty when run as root) and
# `log_name` (the prefix of the messages) to be set by the caller.

# A deb-src entry beside the system's own deb entry for the Debian archive (same URIs, suites and
# key), so that `apt-get source` unpacks sources with Debian's patches applied.
add_deb_src() {
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
      echo "$log_name: adding ${line/deb /deb-src } to /etc/apt/sources.list.d/tarnwood-deb-src.list"
      echo "${line/deb /deb-src }" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/tarnwood-deb-src.list > /dev/null
      "${sudo_cmd[@]}" apt-get update -qq
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
  echo "$log_name: adding a deb-src entry for the Debian archive ($list)"
  printf '%s\n' "$entry" | "${sudo_cmd[@]}" tee "$list" > /dev/null
  "${sudo_cmd[@]}" apt-get update -qq
}

# deb_source <source package> <folder>: unpacks the package's patched source into <folder> (made
# empty first) and prints the path of the unpacked tree.
deb_source() {
  local package="$1" folder="$2"
  rm -rf "$folder"
  mkdir -p "$folder"
  if ! apt-cache showsrc "$package" 2>/dev/null | grep -q "^Package: $package\$"; then add_deb_src >&2; fi
  (cd "$folder" && apt-get source -qq "$package" > "$folder/source.log" 2>&1) ||
    { cat "$folder/source.log" >&2; return 1; }
  local src
  src="$(find "$folder" -mindepth 1 -maxdepth 1 -type d | head -n1)"
  [[ -n "$src" ]] || { echo "$log_name: no source of $package unpacked" >&2; return 1; }
  echo "$src"
}
