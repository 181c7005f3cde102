#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build (unit, scenario, fuzz-corpus and the
# end-to-end test of the real program under Xvfb), then the unit and scenario tests once more
# built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

echo "== build and test"
bash "$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)")

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
bash "$root/scripts/build.sh" "$root/build-asan" -DTARNWOOD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$(nproc)")
