#!/usr/bin/env bash
# Sets up, builds and runs Tarnwood. It runs in build/run/, a working copy of the shipped Files/
# made on first use, so that the program's own settings rewrites and screenshots never touch the
# tracked files. On a machine without a display it takes a scripted tour of every menu page on a
# virtual X server instead and leaves a screenshot of each (scripts/tour.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
run="$root/build/run"
if [[ ! -d "$run/Files" ]]; then
  mkdir -p "$run"
  cp -r "$root/Files" "$run/"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  exec bash "$root/scripts/tour.sh" "$root/build"
fi
cd "$run"
exec "$root/build/tarnwood"
