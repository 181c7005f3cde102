#!/usr/bin/env bash
# Builds Tarnwood for the browser (WebAssembly, Debian's emscripten) into build-web/ (or the folder
# given as $1, with extra CMake options after it) and leaves the page in <build>/dist/: index.html,
# tarnwood.js and tarnwood.wasm, servable by any static file server
# (`python3 -m http.server -d build-web/dist`). Installs what it needs from Debian when missing:
# emscripten, and for the tests headless Chromium, python3-websocket and python3-pil. zlib, libpng
# and FreeType are built for wasm from Debian's source packages (Debian's patches applied), cached
# in <build>/libs/ so that later runs skip them. Each stage's time goes to standard output.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${1:-$root/build-web}"
shift || true
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
stage_start=$SECONDS
stage_done() {
  echo "build-web: $1 took $((SECONDS - stage_start)) s"
  stage_start=$SECONDS
}

# --- Debian packages --------------------------------------------------------------------------
# emscripten (with its clang, node and binaryen), the faces embedded in the page, GoogleTest's
# sources for the tests, and what the end-to-end test drives the page with.
packages=(build-essential cmake pkg-config libpng-dev emscripten nodejs dpkg-dev googletest
          fonts-urw-base35 fonts-dejavu-core chromium python3-websocket python3-pil)
source "$root/scripts/install-packages.sh"
install_missing build-web "$dir/packages.log" "${packages[@]}"
# emcc runs the first python3 on PATH unless told; node finds emscripten's modules (acorn) here.
export EMSDK_PYTHON=/usr/bin/python3 NODE_PATH=/usr/share/nodejs
stage_done "packages"

# --- zlib, libpng and FreeType for wasm, from Debian's source packages --------------------------
log_name=build-web
source "$root/scripts/deb-source.sh"
libs="$dir/libs"
prefix="$libs/install"
mkdir -p "$prefix"
if [[ ! -f "$prefix/zlib.done" ]]; then
  src="$(deb_source zlib "$libs/zlib")"
  # Debian's source lacks the files zlib's CMake build wants (win32/zlib1.rc): its own configure.
  (cd "$src" && emconfigure ./configure --static --prefix="$prefix" && emmake make -j "$(nproc)" libz.a &&
     emmake make install) > "$libs/zlib/build.log" 2>&1 || { cat "$libs/zlib/build.log"; exit 1; }
  basename "$src" > "$prefix/zlib.done"
  stage_done "zlib for wasm ($(cat "$prefix/zlib.done"))"
fi
if [[ ! -f "$prefix/libpng.done" ]]; then
  src="$(deb_source libpng1.6 "$libs/libpng")"
  { emcmake cmake -S "$src" -B "$libs/libpng/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF \
      -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" &&
    cmake --build "$libs/libpng/build" -j "$(nproc)" --target install
  } > "$libs/libpng/build.log" 2>&1 || { cat "$libs/libpng/build.log"; exit 1; }
  basename "$src" > "$prefix/libpng.done"
  stage_done "libpng for wasm ($(cat "$prefix/libpng.done"))"
fi
if [[ ! -f "$prefix/freetype.done" ]]; then
  src="$(deb_source freetype "$libs/freetype")"
  { emcmake cmake -S "$src" -B "$libs/freetype/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
      -DFT_REQUIRE_ZLIB=ON -DFT_REQUIRE_PNG=ON -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
      -DPNG_LIBRARY="$prefix/lib/libpng.a" -DPNG_PNG_INCLUDE_DIR="$prefix/include" &&
    cmake --build "$libs/freetype/build" -j "$(nproc)" --target install
  } > "$libs/freetype/build.log" 2>&1 || { cat "$libs/freetype/build.log"; exit 1; }
  basename "$src" > "$prefix/freetype.done"
  stage_done "FreeType for wasm ($(cat "$prefix/freetype.done"))"
fi

# --- Tarnwood ----------------------------------------------------------------------------------
emcmake cmake -S "$root" -B "$dir" -DTARNWOOD_WEB_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@" \
  > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)"
stage_done "build for wasm"
echo "build-web: the page is in $dir/dist ($(du -cb "$dir"/dist/* | tail -n1 | cut -f1) bytes," \
  "$(cat "$dir"/dist/* | gzip -9 | wc -c) gzipped): python3 -m http.server -d $dir/dist"
