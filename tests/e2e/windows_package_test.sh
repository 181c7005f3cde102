#!/usr/bin/env bash
# What a player unpacks: Tarnwood-win64.zip holds tarnwood.exe, the shipped settings file with
# CR LF line ends, README.txt and the licence texts; tarnwood.exe's resources hold an icon of 16,
# 32, 48 and 256 pixels whose pictures decode, version information carrying the shipped settings'
# Version value, and the manifest (asInvoker, Windows 10/11, per-monitor DPI awareness, common
# controls 6). Runs on the build machine (binutils and icoutils read the .exe).
# Usage: windows_package_test.sh ZIP SHIPPED_SETTINGS E2E_CHECK
set -euo pipefail
zip="$(realpath "$1")" shipped="$(realpath "$2")" check="$(realpath "$3")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

unzip -q "$zip" -d "$work"
dist="$work/Tarnwood" exe="$work/Tarnwood/tarnwood.exe" cfg="$work/Tarnwood/Files/Tarnwood.cfg"
for f in tarnwood.exe Files/Tarnwood.cfg README.txt Licences/libpng.txt Licences/zlib.txt \
         Licences/mingw-w64.txt Licences/gcc-runtime.txt; do
  [[ -s "$dist/$f" ]] || fail "the zip has no $f"
done
lines=$(wc -l < "$cfg")
crlf=$(grep -c $'\r$' "$cfg" || true)
((lines > 0 && crlf == lines)) || fail "the settings file has $crlf CR LF ends in $lines lines"
cmp -s <(tr -d '\r' < "$cfg") "$shipped" || fail "the settings file differs from the shipped one beyond its line ends"

# Resource types: 3 icon, 14 icon group, 16 version, 24 manifest.
types="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/The .rsrc Resource Directory/,$p' |
         sed -n 's/^0[0-9a-f]\{2\}   Entry: ID: 0x0*\([0-9a-f]*\),.*/\1/p' | tr '\n' ' ')"
[[ "$types" == "3 e 10 18 " ]] || fail "resource types are '$types', not icon, icon group, version, manifest"

version="$(sed -n 's/^[ \t]*Version[ \t]*=[ \t]*\([0-9.]*\).*/\1/p' "$shipped")"
strings -el "$exe" > "$work/utf16.txt"
for s in "ProductName" "Tarnwood" "FileDescription" "FileVersion" "$version"; do
  grep -qxF "$s" "$work/utf16.txt" || fail "the version information lacks '$s'"
done
for s in 'level="asInvoker"' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '>PerMonitorV2' '>true/pm<' \
         'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'; do
  grep -qaF "$s" "$exe" || fail "the manifest lacks $s"
done

wrestool -x -t 14 -o "$work/icon.ico" "$exe" 2> /dev/null || fail "no icon group in the resources"
sizes="$(icotool -l "$work/icon.ico" | sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\).*/\1x\2/p' | tr '\n' ' ')"
[[ "$sizes" == "16x16 32x32 48x48 256x256 " ]] || fail "icon sizes are '$sizes'"
mkdir "$work/icons"
icotool -x -o "$work/icons" "$work/icon.ico"
for s in 16 32 48 256; do
  png="$(ls "$work"/icons/*_${s}x${s}x32.png)"
  [[ "$("$check" size "$png")" == "$s $s" ]] || fail "the $s px icon does not decode at its size"
done
echo "ok: zip contents, CR LF settings, icon $sizes, version $version, manifest"
