#!/usr/bin/env bash
# The soak: the real program under a virtual X server (1280x1024, so every screen size the menu
# offers fits) with SDL's disk audio, played by the monkey (tests/soak/monkey.cpp) for SECONDS
# with SEED. Prints the monkey's checks and figures; exit code 0 when every check held.
# Usage: soak.sh BUILD_DIR [SECONDS] [SEED]      (defaults: 600 s, seed 1)
# The run's folder (settings file, screenshots, program log) is kept when SOAK_KEEP is set.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(realpath "$1")" seconds="${2:-600}" seed="${3:-1}"
source "$root/tests/e2e/drive.sh"

work="$(mktemp -d)"
cleanup() {
  drive_stop_x
  if [[ -n "${SOAK_KEEP:-}" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

mkdir -p "$work/Files/Screenshots"
cp "$root/Files/Tarnwood.cfg" "$work/Files/"
drive_start_x 1280 1024
"$build/tests/monkey" "$seconds" "$seed" "$build/tarnwood" "$build/tests/subreaper" \
  "$build/tests/libsoak_presents.so" "$work"
