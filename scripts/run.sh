#!/usr/bin/env bash
# Sets up, builds and runs Tarnwood. It runs in build/run/, a working copy of the shipped Files/
# made on first use, so that the program's own settings rewrites and screenshots never touch the
# tracked files.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
run="$root/build/run"
if [[ ! -d "$run/Files" ]]; then
  mkdir -p "$run"
  cp -r "$root/Files" "$run/"
fi
cd "$run"
exec "$root/build/tarnwood"
