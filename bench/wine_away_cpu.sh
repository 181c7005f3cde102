#!/usr/bin/env bash
# The CPU cost of tarnwood.exe under Wine while nobody looks, the twin of wine_startup.sh's
# resting measurement: on a virtual X server (1280x1024, with the game's 1024x768 modes) with a
# window manager (openbox) and a private PulseAudio null sink as the sound device (the music
# plays throughout), the CPU time of the program, the Wine server and winedevice over SECONDS
# (10 unless given) in three situations:
#   resting    the main menu, nobody touching anything;
#   away       another program (Notepad) has the focus;
#   minimised  the game's window minimised by the window manager.
# Prints one line per situation: shares of one core in percent.
# Usage: bench/wine_away_cpu.sh DIST_FOLDER [SECONDS]   e.g. build-windows/dist/Tarnwood
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dist="$(realpath "$1")" window="${2:-10}"
source "$root/tests/e2e/drive.sh"
wine=/usr/lib/wine/wine64
work="$(mktemp -d)"
pulse_pid="" wm_pid=""
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2> /dev/null || true
  [[ -n "$wm_pid" ]] && kill "$wm_pid" 2> /dev/null && wait "$wm_pid" 2> /dev/null || true
  [[ -n "$pulse_pid" ]] && kill "$pulse_pid" 2> /dev/null && wait "$pulse_pid" 2> /dev/null || true
  drive_stop_x
  rm -rf "$work"
}
trap cleanup EXIT

cp -r "$dist" "$work/win"
drive_start_x 1280 1024
drive_add_game_modes
openbox > /dev/null 2>&1 &
wm_pid=$!
drive_start_pulse "$work"
drive_wine_prefix "$work"

window_of() { xdotool search --onlyvisible --name '^Tarnwood$' 2> /dev/null | head -n 1; }
(cd "$work/win" && exec "$wine" tarnwood.exe > /dev/null 2>&1) &
drive_wait 30 window_of || drive_fail "no window"
game_window="$(window_of)"
sleep 3
ticks() { if [[ -r "/proc/$1/stat" ]]; then awk '{print $14 + $15}' "/proc/$1/stat"; else echo "gone: process $1 ($2)" >&2; exit 1; fi; }
hz=$(getconf CLK_TCK)
program="$(drive_wine_pids 'tarnwood\.exe' | tail -n 1)" server="$(drive_wine_pids wineserver | tail -n 1)"
# Wine runs more than one winedevice process: their ticks together.
device_ticks() {
  local total=0 pid
  for pid in $(drive_wine_pids 'winedevice\.exe'); do
    [[ -r "/proc/$pid/stat" ]] && total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat" 2> /dev/null || echo 0)))
  done
  echo "$total"
}
# The program's threads as "tid name ticks", for the per-thread lines of WINE_AWAY_THREADS=1.
thread_ticks() {
  local t
  for t in /proc/"$program"/task/*; do
    echo "${t##*/} $(tr ' ' '_' < "$t/comm") $(awk '{print $14 + $15}' "$t/stat" 2> /dev/null || echo 0)"
  done
}
measure() {
  local p0 s0 d0 p1 s1 d1
  [[ -n "${WINE_AWAY_THREADS:-}" ]] && thread_ticks > "$work/threads0"
  p0=$(ticks "$program" tarnwood.exe) s0=$(ticks "$server" wineserver) d0=$(device_ticks)
  sleep "$window"
  p1=$(ticks "$program" tarnwood.exe) s1=$(ticks "$server" wineserver) d1=$(device_ticks)
  if [[ -n "${WINE_AWAY_THREADS:-}" ]]; then
    thread_ticks > "$work/threads1"
    join "$work/threads0" "$work/threads1" | awk -v hz="$hz" -v w="$window" '$5 > $3 {
      printf "    thread %s %s %.1f%%\n", $1, $2, 100 * ($5 - $3) / hz / w }'
  fi
  awk -v what="$1" -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v d=$((d1 - d0)) -v hz="$hz" -v w="$window" 'BEGIN {
    printf "%-10s tarnwood.exe %.1f%%, Wine server %.1f%%, winedevice %.1f%% of one core over %d s\n",
      what, 100 * p / hz / w, 100 * s / hz / w, 100 * d / hz / w, w }'
}
measure resting
"$wine" notepad > /dev/null 2>&1 &
drive_wait 10 xdotool search --onlyvisible --name 'Notepad' || drive_fail "no Notepad"
sleep 2
measure away
xdotool windowactivate --sync "$game_window" 2> /dev/null || true
sleep 2
xdotool windowminimize --sync "$game_window" 2> /dev/null || true
sleep 2
measure minimised
