#!/bin/bash
# How long the menu stops presenting frames around a screenshot, on the real program under a
# virtual X server (desktop 1280x1024) at each menu size (800x600, 1024x768, 1280x720, 1280x1024,
# set through a settings file in a temporary folder). The preload library
# bench/preload/sdl_script.cpp logs the time of every present, of the moment the program takes each
# F12 release from SDL's queue and of each completed screenshot file. The pointer keeps moving
# during the measurement (xdotool moves it a little every 8 ms), so that every frame differs from
# the one before and a presenter that skips unchanged frames still presents each one.
# Per size it reports, over SHOTS presses of F12 (default 4), the longest gap between two presents
# from the last present before the key was taken until the first present after the file was
# complete, the usual frame time (median gap of the whole run), and for each press the time from
# the key to the complete file. The "quiet" column is the longest gap in 3 s of pointer movement
# before the first press: what the machine does without a screenshot.
# Needs Xvfb, xdotool, xdpyinfo and chrt (packages xvfb, xdotool, x11-utils, util-linux).
# Usage: bash bench/screenshot_freeze.sh [build folder, default build-bench]
#   TARNWOOD_PROGRAM=path  measure another build of the program (e.g. an older one) with the same
#                          preload library
#   RT=n                   run the X server and the program under the round-robin real-time
#                          policy at priority n (needs root; chrt): on a machine shared with other
#                          work, RT=10 keeps that work from opening gaps of its own
#   NICE=n                 the milder choice: niceness n for both (negative needs root)
#   SHOTS=n                presses per size (default 4)
#   SIZES="WxH ..."        the sizes to measure (default all four)
#   BENCH_KEEP=1           keep the run folders (settings, screenshots, times.txt logs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-bench}" && pwd)
program=${TARNWOOD_PROGRAM:-$build/tarnwood}
preload=$build/bench/preload/libsdl_script.so
shots=${SHOTS:-4}
[ -x "$program" ] && [ -f "$preload" ] || { echo "build $build with -DTARNWOOD_BENCH=ON first" >&2; exit 1; }
source "$root/tests/e2e/drive.sh"

work=$(mktemp -d)
program_pid=""
walker_pid=""
cleanup() {
  [[ -n "$walker_pid" ]] && kill "$walker_pid" 2> /dev/null || true
  [[ -n "$program_pid" ]] && kill "$program_pid" 2> /dev/null || true
  drive_stop_x
  if [[ -n "${BENCH_KEEP:-}" ]]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
drive_start_x 1280 1024
nice=${NICE:-0}
[[ "$nice" == 0 ]] || renice -n "$nice" -p "$DRIVE_X_PID" > /dev/null
launch=(nice -n "$nice")
if [[ -n "${RT:-}" ]]; then
  chrt -r -p "$RT" "$DRIVE_X_PID"
  launch=(chrt -r "$RT")
fi

# Moves the pointer 2 pixels every 8 ms, 150 steps one way and 150 back, until killed.
walk_pointer() {
  local right=() left=() i
  for ((i = 0; i < 150; i++)); do
    right+=(mousemove_relative -- 2 0 sleep 0.008)
    left+=(mousemove_relative -- -2 0 sleep 0.008)
  done
  while :; do
    xdotool "${right[@]}"
    xdotool "${left[@]}"
  done
}

count() { grep -c "$1" "$2" 2> /dev/null || true; }
# at_least N PATTERN FILE: the file has at least N lines matching the pattern.
at_least() { [[ "$(count "$2" "$3")" -ge "$1" ]]; }

# Gaps between presents, in ms: the longest around a press (from the last present before the key
# to the first after the file is complete), split into the two gaps from the one that holds the key
# (the frame that takes the key, then the one after its present that grabs the screen) and the
# longest while the file is being written; the longest in 3 s without a
# screenshot; the median (the usual frame).
printf '%-10s %7s %7s %9s %7s %7s   %s\n' size longest "at key" "writing" quiet median \
  "file complete after the key (ms, each press)"
for size in ${SIZES:-800x600 1024x768 1280x720 1280x1024}; do
  w=${size%x*} h=${size#*x}
  run="$work/$size"
  mkdir -p "$run/Files/Screenshots"
  sed -e "s/^ScreenW = .*/ScreenW = $w/" -e "s/^ScreenH = .*/ScreenH = $h/" "$root/Files/Tarnwood.cfg" \
    > "$run/Files/Tarnwood.cfg"
  times="$run/times.txt"
  (
    cd "$run"
    export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy LD_PRELOAD="$preload" TARNWOOD_SCRIPT_TIMES="$times"
    exec "${launch[@]}" "$program" > "$run/program.log" 2>&1
  ) &
  program_pid=$!
  drive_wait_window "$program_pid"
  # The menu runs: a second of frames.
  drive_wait 15 at_least 60 '^P' "$times" || drive_fail "$size: no frames presented"
  walk_pointer > /dev/null 2>&1 &
  walker_pid=$!
  sleep 3.2
  # Each press once the file of the one before is complete: a press and release that both fall
  # into one frozen stretch reach the program in one frame and are not seen as a press.
  for ((i = 1; i <= shots; i++)); do
    xdotool keydown F12
    sleep 0.1
    xdotool keyup F12
    drive_wait 30 at_least "$i" '^F .*/Screenshot_' "$times" ||
      drive_fail "$size: $(count '^F .*/Screenshot_' "$times") of $i screenshots complete"
    sleep 0.4
  done
  kill "$walker_pid" 2> /dev/null || true
  wait "$walker_pid" 2> /dev/null || true
  walker_pid=""
  xdotool key Escape  # the main page: Escape quits
  drive_wait 10 bash -c "! kill -0 $program_pid 2> /dev/null" || kill "$program_pid" 2> /dev/null || true
  wait "$program_pid" 2> /dev/null || true
  program_pid=""
  # The pointer moved between the presses: no two screenshots are alike.
  same=$(cd "$run/Files/Screenshots" && md5sum Screenshot_*.png | awk '{print $1}' | sort | uniq -d | wc -l)
  [[ "$same" == 0 ]] || echo "warning: $size: identical screenshots (did the pointer move?)" >&2

  awk -v size="$size" -v shots="$shots" '
    $1 == "P" { p[np++] = $2 }
    $1 == "K" { k[nk++] = $2 }
    $1 == "F" && $3 ~ /\/Screenshot_[0-9]+\.png$/ { f[nf++] = $2 }
    END {
      if (nk < shots || nf < shots) { printf "%s: %d keys, %d files\n", size, nk, nf; exit 1 }
      at_key = 0; writing = 0; line = ""
      for (s = 0; s < shots; s++) {
        for (i = 1; i < np; i++) {
          if (p[i] < k[s]) continue     # from the gap that holds the key...
          if (p[i - 1] > f[s]) break    # ...to the first present after the file is complete
          gap = p[i] - p[i - 1]
          if (p[i - 2] <= k[s]) { if (gap > at_key) at_key = gap }  # the frame of the key, the grab
          else if (gap > writing) writing = gap
        }
        line = line sprintf(" %5.0f", (f[s] - k[s]) / 1e6)
      }
      quiet = 0  # the pointer moves, no screenshot: the 3 s before the first key
      for (i = 1; i < np; i++)
        if (p[i - 1] >= k[0] - 3.1e9 && p[i] <= k[0] - 0.15e9 && p[i] - p[i - 1] > quiet) quiet = p[i] - p[i - 1]
      longest = at_key > writing ? at_key : writing
      printf "%-10s %7.1f %7.1f %9.1f %7.1f %7.1f  %s\n", size, longest / 1e6, at_key / 1e6, writing / 1e6,
        quiet / 1e6, median / 1e6, line
    }' median="$(awk '$1 == "P" { if (n++) print $2 - last; last = $2 }' "$times" | sort -n |
                awk '{ g[n++] = $1 } END { print g[int(n / 2)] }')" "$times"
done
