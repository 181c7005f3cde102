#!/usr/bin/env bash
# Cross-builds Tarnwood for 64-bit Windows into build-windows/ (or the folder given as $1, with
# extra CMake options after it). Installs what it needs from Debian when missing: the MinGW-w64
# -posix compilers, zlib for the target, Wine (64-bit only) to run the test programs (openbox,
# icoutils and unzip for the tests of the packed program), and
# libpng 1.6 built for the target from Debian's own source package (Debian's patches applied),
# cached in <build>/libpng/ so that later runs skip it. Each stage's time goes to standard output.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${1:-$root/build-windows}"
shift || true
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
stage_start=$SECONDS
stage_done() {
  echo "build-windows: $1 took $((SECONDS - stage_start)) s"
  stage_start=$SECONDS
}

# --- Debian packages --------------------------------------------------------------------------
# The host side (compiler, CMake, libpng for the asset generator, GoogleTest's sources) and the
# target side. The -posix compilers have std::thread and std::mutex; the default -win32 ones do not.
packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev googletest
          gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
          wine wine64 dpkg-dev openbox icoutils unzip)
missing=()
for pkg in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "build-windows: installing ${missing[*]}"
  { "${sudo_cmd[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  } > "$dir/packages.log" 2>&1 || { cat "$dir/packages.log"; exit 1; }
fi
stage_done "packages"

# --- libpng for the target, from Debian's source package ---------------------------------------
# A deb-src entry beside the system's own deb entry for the Debian archive (same URIs, suites and
# key), so that `apt-get source` unpacks libpng with Debian's patches applied.
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
      echo "build-windows: adding ${line/deb /deb-src } to /etc/apt/sources.list.d/tarnwood-deb-src.list"
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
  echo "build-windows: adding a deb-src entry for the Debian archive ($list)"
  printf '%s\n' "$entry" | "${sudo_cmd[@]}" tee "$list" > /dev/null
  "${sudo_cmd[@]}" apt-get update -qq
}

png_dir="$dir/libpng"
png_prefix="$png_dir/install"
if [[ ! -f "$png_prefix/tarnwood-libpng.done" ]]; then
  rm -rf "$png_dir"
  mkdir -p "$png_dir"
  if ! apt-cache showsrc libpng1.6 2>/dev/null | grep -q '^Package: libpng1.6'; then add_deb_src; fi
  (cd "$png_dir" && apt-get source -qq libpng1.6 > "$png_dir/source.log" 2>&1) ||
    { cat "$png_dir/source.log"; exit 1; }
  png_src="$(find "$png_dir" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)"
  [[ -n "$png_src" && -d "$png_src/debian/patches" ]] || { echo "build-windows: no patched libpng source"; exit 1; }
  cmake -S "$png_src" -B "$png_dir/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$png_prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF \
    -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
    > "$png_dir/configure.log" 2>&1 || { cat "$png_dir/configure.log"; exit 1; }
  cmake --build "$png_dir/build" -j "$(nproc)" --target install > "$png_dir/build.log" 2>&1 ||
    { cat "$png_dir/build.log"; exit 1; }
  echo "$(basename "$png_src"): $(ls "$png_src/debian/patches" | grep -c -v '^series$') Debian patches" \
    > "$png_prefix/tarnwood-libpng.done"
  stage_done "libpng for the target ($(cat "$png_prefix/tarnwood-libpng.done"))"
fi

# --- Tarnwood ----------------------------------------------------------------------------------
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTARNWOOD_WIN_PREFIX="$png_prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)"
stage_done "cross build"
