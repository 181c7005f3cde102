#!/usr/bin/env bash
# CPU cost of the real program on its menu, from outside: each program given runs under a virtual
# X server (desktop 1280x1024, the game at 1024x768 with the shipped default settings, music on,
# SDL's default renderer, SDL's disk audio driver) and its CPU time (user + system, all threads)
# is read from /proc/<pid>/stat over a fixed window in four situations:
#   resting    the main menu, nobody touching anything;
#   moving     the pointer moved in small relative steps every 10 ms;
#   pages      a click every 0.5 s, switching between the main menu and the options page;
#   away       another window has the keyboard focus (the program is switched away).
# Prints one line per program and situation: the share of one core in percent.
# Usage: idle_cpu.sh [-w SECONDS] PROGRAM [PROGRAM...]   e.g. build/tarnwood build-before/bin/tarnwood
# Needs Xvfb, xdotool, xdpyinfo and xmessage (packages xvfb, xdotool, x11-utils).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tests/e2e/drive.sh"

window=10
if [[ "${1:-}" == "-w" ]]; then
  window=$2
  shift 2
fi
(($# > 0)) || { echo "usage: $0 [-w SECONDS] PROGRAM [PROGRAM...]" >&2; exit 2; }

W=1024 H=768
ticks_per_second=$(getconf CLK_TCK)
work="$(mktemp -d)"
program_pid=""
other_pid=""
stop_program() {
  if [[ -n "$program_pid" ]] && kill -0 "$program_pid" 2> /dev/null; then
    kill -KILL "$program_pid" 2> /dev/null || true
    wait "$program_pid" 2> /dev/null || true
  fi
  program_pid=""
}
cleanup() {
  stop_program
  [[ -n "$other_pid" ]] && kill "$other_pid" 2> /dev/null || true
  drive_stop_x
  rm -rf "$work"
}
trap cleanup EXIT

# CPU ticks (user + system) of a process so far: fields 14 and 15 of /proc/<pid>/stat, counted
# after the command name, which may hold spaces.
cpu_ticks() {
  local stat
  stat="$(cat "/proc/$1/stat")"
  stat="${stat##*) }"
  set -- $stat
  echo $((${12} + ${13}))
}

# measure NAME: the program's CPU share over the window while the caller's load runs.
measure() {
  local before after
  before=$(cpu_ticks "$program_pid")
  sleep "$window"
  after=$(cpu_ticks "$program_pid")
  awk -v t=$((after - before)) -v hz="$ticks_per_second" -v s="$window" \
    'BEGIN { printf "%.1f", 100 * t / hz / s }'
}

# Pointer moves: a small square, 4 pixels a step, every 10 ms, ending where it started.
move_loop() {
  local i
  while true; do
    for i in 1 2 3 4 5; do xdotool mousemove_relative -- 4 0; sleep 0.01; done
    for i in 1 2 3 4 5; do xdotool mousemove_relative -- 0 4; sleep 0.01; done
    for i in 1 2 3 4 5; do xdotool mousemove_relative -- -4 0; sleep 0.01; done
    for i in 1 2 3 4 5; do xdotool mousemove_relative -- 0 -4; sleep 0.01; done
  done
}

# Page changes: the main menu's Options entry and the options page's Back entry lie at the same
# place (512, 683 at 1024x768), so each click switches page.
click_loop() {
  while true; do
    xdotool mousedown 1
    sleep 0.1
    xdotool mouseup 1
    sleep 0.4
  done
}

drive_start_x 1280 1024
printf '%-40s %8s %8s %8s %8s\n' program resting moving pages away
for program in "$@"; do
  program="$(realpath "$program")"
  rm -rf "$work/run"
  mkdir -p "$work/run/Files/Screenshots"
  cp "$root/Files/Tarnwood.cfg" "$work/run/Files/"
  (
    cd "$work/run"
    export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/run/audio.raw"
    exec "$program" > "$work/run/program.log" 2>&1
  ) &
  program_pid=$!
  drive_wait_window "$program_pid"
  sleep 2  # start-up: the picture decoded, the first frames shown
  drive_pointer_home "$W" "$H"

  resting=$(measure)

  move_loop &
  loader=$!
  moving=$(measure)
  kill "$loader"
  wait "$loader" 2> /dev/null || true

  drive_to 512 683
  click_loop &
  loader=$!
  pages=$(measure)
  kill "$loader"
  wait "$loader" 2> /dev/null || true

  # Switched away: another client's window takes the keyboard focus.
  xmessage -geometry +0+0 "elsewhere" > /dev/null 2>&1 &
  other_pid=$!
  drive_wait 5 xdotool search --onlyvisible --pid "$other_pid" || drive_wait 5 xdotool search --name '^xmessage$' ||
    drive_fail "the other window did not show"
  other="$(xdotool search --name '^xmessage$' | head -n 1)"
  xdotool windowfocus --sync "$other" 2> /dev/null || xdotool windowfocus "$other"
  sleep 1
  away=$(measure)
  kill "$other_pid" 2> /dev/null || true
  wait "$other_pid" 2> /dev/null || true
  other_pid=""

  kill -0 "$program_pid" 2> /dev/null || drive_fail "$program ended during the measurement"
  stop_program
  printf '%-40s %7s%% %7s%% %7s%% %7s%%\n' "$program" "$resting" "$moving" "$pages" "$away"
done
