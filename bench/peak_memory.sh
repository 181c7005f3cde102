#!/bin/bash
# Peak resident memory of the real program (Release build) in a run at 1280 x 1024 with SDL's
# dummy drivers that takes one screenshot, as /usr/bin/time -v reports it. The dummy drivers have
# no input: the preload library bench/preload/sdl_script.cpp pushes F12 and then Escape into SDL's
# queue after a few presented frames, and the program ends by itself.
# Usage: bash bench/peak_memory.sh [build folder, default build-bench]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-bench}" && pwd)
program=$build/tarnwood
preload=$build/bench/preload/libsdl_script.so
[ -x "$program" ] && [ -f "$preload" ] || { echo "build $build with -DTARNWOOD_BENCH=ON first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Files/Screenshots"
sed -e 's/^ScreenW = .*/ScreenW = 1280/' -e 's/^ScreenH = .*/ScreenH = 1024/' "$root/Files/Tarnwood.cfg" > "$work/Files/Tarnwood.cfg"
cd "$work"
env -u DISPLAY SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  /usr/bin/time -v -o "$work/time.txt" \
  env LD_PRELOAD="$preload" TARNWOOD_SCRIPT_KEYS=100:69:d,250:69:u,600:41:d,750:41:u "$program"
[ -f Files/Screenshots/Screenshot_1.png ] || { echo "no screenshot was written" >&2; exit 1; }
kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
awk -v k="$kb" 'BEGIN { printf "peak resident memory: %d kB = %.1f MB (%.1f MiB)\n", k, k * 1024 / 1e6, k / 1024 }'
