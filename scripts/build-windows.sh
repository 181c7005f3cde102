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
source "$root/scripts/install-packages.sh"
install_missing build-windows "$dir/packages.log" "${packages[@]}"
stage_done "packages"

# --- libpng for the target, from Debian's source package ---------------------------------------
source "$root/scripts/deb-source.sh"
png_dir="$dir/libpng"
png_prefix="$png_dir/install"
if [[ ! -f "$png_prefix/tarnwood-libpng.done" ]]; then
  rm -rf "$png_dir"
  png_src="$(deb_source libpng1.6 "$png_dir/source" build-windows)"
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
