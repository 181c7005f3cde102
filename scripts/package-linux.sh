#!/usr/bin/env bash
# Builds what Linux players download into build-linux/ (or the folder given as $1):
#   dist/Tarnwood-linux-x86_64.tar.gz - Tarnwood/ with tarnwood, the shipped Files/, README.txt and
#     the licence texts of what is linked in; the program needs nothing beyond glibc: SDL2 (built
#     here from Debian's source package, loading its X11, Wayland, PulseAudio, PipeWire and ALSA
#     backends at run time), libpng, zlib, FreeType, fontconfig, expat and the C++ run time are
#     linked in statically;
#   dist/tarnwood_<version>_amd64.deb - the same program as /usr/games/tarnwood with the shipped
#     Files/ under /usr/share/games/tarnwood/, a menu entry, icons made from the title picture,
#     and Depends computed by dpkg-shlibdeps; checked by lintian (its report: dist/lintian.txt).
# Installs what it needs from Debian when missing. SDL2 is kept in <build>/sdl2/, so later runs
# skip it. Each stage's time goes to standard output.
# Relies on: scripts/deb-source.sh, CMake (TARNWOOD_LINUX_PORTABLE), dpkg-dev, lintian.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${1:-$root/build-linux}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
stage_start=$SECONDS
stage_done() {
  echo "package-linux: $1 took $((SECONDS - stage_start)) s"
  stage_start=$SECONDS
}

# --- Debian packages --------------------------------------------------------------------------
# The compilers, the static libraries linked in (their -dev packages hold the .a files), the
# headers of the systems SDL loads at run time, and the packaging tools.
packages=(build-essential cmake pkg-config dpkg-dev lintian file
          libpng-dev zlib1g-dev libfreetype-dev libfontconfig-dev libexpat1-dev libbrotli-dev libbz2-dev
          libx11-dev libxext-dev libxrandr-dev libxcursor-dev libxi-dev libxinerama-dev libxss-dev
          libxxf86vm-dev libxfixes-dev libxkbcommon-dev libwayland-dev libdecor-0-dev libegl-dev
          libgles-dev libpulse-dev libpipewire-0.3-dev libasound2-dev libdbus-1-dev libudev-dev)
source "$root/scripts/install-packages.sh"
install_missing package-linux "$dir/packages.log" "${packages[@]}"
stage_done "packages"

# --- SDL2, static, from Debian's source package -----------------------------------------------
# Every system interface SDL can load at run time is loaded that way, so a machine without
# Wayland, PulseAudio or PipeWire libraries still starts; what no desktop needs is left out.
source "$root/scripts/deb-source.sh"
sdl_dir="$dir/sdl2"
sdl_prefix="$sdl_dir/install"
if [[ ! -f "$sdl_prefix/tarnwood-sdl2.done" ]]; then
  rm -rf "$sdl_dir"
  sdl_src="$(deb_source libsdl2 "$sdl_dir/source" package-linux)"
  cmake -S "$sdl_src" -B "$sdl_dir/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$sdl_prefix" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_RPATH=OFF \
    -DSDL_X11=ON -DSDL_X11_SHARED=ON -DSDL_WAYLAND=ON -DSDL_WAYLAND_SHARED=ON \
    -DSDL_WAYLAND_LIBDECOR=ON -DSDL_WAYLAND_LIBDECOR_SHARED=ON \
    -DSDL_PULSEAUDIO=ON -DSDL_PULSEAUDIO_SHARED=ON -DSDL_PIPEWIRE=ON -DSDL_PIPEWIRE_SHARED=ON \
    -DSDL_ALSA=ON -DSDL_ALSA_SHARED=ON -DSDL_DBUS=ON -DSDL_IBUS=OFF \
    -DSDL_JACK=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF -DSDL_NAS=OFF -DSDL_SNDIO=OFF -DSDL_OSS=OFF \
    -DSDL_LIBSAMPLERATE=OFF -DSDL_KMSDRM=OFF -DSDL_HIDAPI_LIBUSB=OFF \
    > "$sdl_dir/configure.log" 2>&1 || { cat "$sdl_dir/configure.log"; exit 1; }
  for lib in X11 Wayland PulseAudio Pipewire ALSA; do
    grep -qiE "^ *-- +SDL_${lib}_SHARED +\(Wanted: ON\): ON" "$sdl_dir/configure.log" ||
      { echo "package-linux: SDL2 without run-time loading of $lib"; cat "$sdl_dir/configure.log"; exit 1; }
  done
  cmake --build "$sdl_dir/build" -j "$(nproc)" --target install > "$sdl_dir/build.log" 2>&1 ||
    { cat "$sdl_dir/build.log"; exit 1; }
  cp "$sdl_src/LICENSE.txt" "$sdl_prefix/LICENSE.txt"
  echo "$(basename "$sdl_src"): $(ls "$sdl_src/debian/patches" | grep -c -v '^series$') Debian patches" \
    > "$sdl_prefix/tarnwood-sdl2.done"
  stage_done "SDL2 ($(cat "$sdl_prefix/tarnwood-sdl2.done"))"
fi

# --- Tarnwood, linked for the download --------------------------------------------------------
version="$(sed -n 's/^project(Tarnwood VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
portable="$dir/portable"
PKG_CONFIG_PATH="$sdl_prefix/lib/pkgconfig" cmake -S "$root" -B "$portable" -DCMAKE_BUILD_TYPE=Release \
  -DTARNWOOD_LINUX_PORTABLE=ON -DTARNWOOD_TESTS=OFF > "$portable.configure.log" 2>&1 ||
  { cat "$portable.configure.log"; exit 1; }
cmake --build "$portable" -j "$(nproc)" --target tarnwood icons > "$portable.build.log" 2>&1 ||
  { cat "$portable.build.log"; exit 1; }
stage_done "the program for the download"

# The program of the Debian package is linked against Debian's shared libraries (a package must
# not carry its own copies of them). TARNWOOD_SYSTEM_BUILD names a build folder of the normal
# configuration to take it from (the test command's build/); otherwise it is built here.
system="${TARNWOOD_SYSTEM_BUILD:-$dir/system}"
if [[ ! -f "$system/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$system" -DCMAKE_BUILD_TYPE=Release -DTARNWOOD_TESTS=OFF > "$system.configure.log" 2>&1 ||
    { cat "$system.configure.log"; exit 1; }
fi
cmake --build "$system" -j "$(nproc)" --target tarnwood > "$dir/system.build.log" 2>&1 ||
  { cat "$dir/system.build.log"; exit 1; }
stage_done "the program for the Debian package"

dist="$dir/dist"
rm -rf "$dist"
mkdir -p "$dist"

# --- The archive: Tarnwood/ --------------------------------------------------------------------
folder="$dist/Tarnwood"
mkdir -p "$folder/Files/Screenshots" "$folder/licences"
install -m 755 -s "$portable/tarnwood" "$folder/tarnwood"
cp "$root/Files/Tarnwood.cfg" "$folder/Files/"
cp "$root/docs/README.txt" "$folder/README.txt"
cp "$sdl_prefix/LICENSE.txt" "$folder/licences/SDL2.txt"
for pair in libpng:libpng16-16 zlib:zlib1g FreeType:libfreetype6 fontconfig:libfontconfig1 expat:libexpat1 \
            brotli:libbrotli1 libstdc++:libstdc++6 libgcc:libgcc-s1; do
  cp "/usr/share/doc/${pair#*:}/copyright" "$folder/licences/${pair%%:*}.txt"
done
tar -C "$dist" --owner=0 --group=0 --numeric-owner -czf "$dist/Tarnwood-linux-x86_64.tar.gz" Tarnwood
glibc="$(objdump -T "$folder/tarnwood" | grep -o 'GLIBC_[0-9.]*' | sort -V | tail -n1)"
echo "package-linux: Tarnwood-linux-x86_64.tar.gz $(stat -c %s "$dist/Tarnwood-linux-x86_64.tar.gz") bytes;" \
  "needs $(readelf -d "$folder/tarnwood" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | tr '\n' ' ')(newest symbol $glibc)"
stage_done "the archive"

# --- The Debian package ------------------------------------------------------------------------
deb="$dist/deb"
# No Files/Screenshots/ here: each player's own folder gets one at the first start.
mkdir -p "$deb/DEBIAN" "$deb/usr/games" "$deb/usr/share/games/tarnwood/Files" \
  "$deb/usr/share/applications" "$deb/usr/share/doc/tarnwood" "$deb/usr/share/man/man6"
install -m 755 "$system/tarnwood" "$deb/usr/games/tarnwood"
strip --remove-section=.comment --remove-section=.note "$deb/usr/games/tarnwood"
install -m 644 "$root/Files/Tarnwood.cfg" "$deb/usr/share/games/tarnwood/Files/"
install -m 644 "$root/scripts/debian/tarnwood.desktop" "$deb/usr/share/applications/"
for size in 48 128 256; do
  mkdir -p "$deb/usr/share/icons/hicolor/${size}x${size}/apps"
  install -m 644 "$portable/icons/icon_$size.png" "$deb/usr/share/icons/hicolor/${size}x${size}/apps/tarnwood.png"
done
install -m 644 "$root/scripts/debian/copyright" "$deb/usr/share/doc/tarnwood/copyright"
gzip -9n < "$root/scripts/debian/changelog" > "$deb/usr/share/doc/tarnwood/changelog.gz"
gzip -9n < "$root/scripts/debian/tarnwood.6" > "$deb/usr/share/man/man6/tarnwood.6.gz"
chmod 644 "$deb/usr/share/doc/tarnwood/changelog.gz" "$deb/usr/share/man/man6/tarnwood.6.gz"
# dpkg-shlibdeps reads the package's name from a debian/control: a minimal one in a scratch folder.
shlib="$dist/shlibdeps"
mkdir -p "$shlib/debian"
printf 'Source: tarnwood\n\nPackage: tarnwood\nArchitecture: amd64\n' > "$shlib/debian/control"
depends="$(cd "$shlib" && dpkg-shlibdeps -O "$deb/usr/games/tarnwood" | sed -n 's/^shlibs:Depends=//p')"
rm -rf "$shlib"
[[ -n "$depends" ]] || { echo "package-linux: dpkg-shlibdeps found no dependencies"; exit 1; }
sed -e "s/@VERSION@/$version/" -e "s/@DEPENDS@/$depends/" \
  -e "s/@SIZE@/$(du -k -s --exclude=DEBIAN "$deb" | cut -f1)/" "$root/scripts/debian/control" > "$deb/DEBIAN/control"
(cd "$deb" && find usr -type f -print0 | sort -z | xargs -0 md5sum > DEBIAN/md5sums)
chmod 644 "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
package="$dist/tarnwood_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$deb" "$package" > /dev/null
rm -rf "$deb"
echo "package-linux: $(basename "$package") $(stat -c %s "$package") bytes; Depends: $depends"
stage_done "the Debian package"

# lintian: no error; its other findings stay in dist/lintian.txt.
lintian --display-info "$package" 2>&1 | grep -v 'root privileges' > "$dist/lintian.txt" || true
cat "$dist/lintian.txt"
if grep -q '^E: ' "$dist/lintian.txt"; then
  echo "package-linux: lintian reports errors"
  exit 1
fi
stage_done "lintian"
