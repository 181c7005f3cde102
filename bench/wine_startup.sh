#!/usr/bin/env bash
# Start-up of the Windows program under Wine beside the Linux program, on one virtual X server
# (1280x1024: both programs letterbox their 1024x768 frame on it) with a private PulseAudio null
# sink as the sound device:
#   - start-up: from starting the process to its first presented frame, RUNS times each, median
#     and fastest. tarnwood.exe marks its first present with OutputDebugString, which
#     first_present.exe (bench/win32/) catches as its debugger, under a Wine server already
#     running (as on a desktop); the Linux program is watched by bench/preload/sdl_script.cpp
#     (TARNWOOD_SCRIPT_PRESENT_FD), compiled here, and timed by this script. Both programs end
#     at the mark.
#   - the CPU share of a resting main menu of tarnwood.exe over 10 s: its own process, and the
#     Wine server and X server beside it.
# Needs: scripts/build-windows.sh and scripts/build.sh done (build-windows/dist, build/tarnwood).
# Usage: bench/wine_startup.sh [RUNS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-10}"
source "$root/tests/e2e/drive.sh"
wine=/usr/lib/wine/wine64
work="$(mktemp -d)"
pulse_pid=""
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2> /dev/null || true
  [[ -n "$pulse_pid" ]] && kill "$pulse_pid" 2> /dev/null && wait "$pulse_pid" 2> /dev/null || true
  drive_stop_x
  rm -rf "$work"
}
trap cleanup EXIT

cp -r "$root/build-windows/dist/Tarnwood" "$work/win"
mkdir -p "$work/linux" && cp -r "$root/Files" "$work/linux/"
g++ -O2 -shared -fPIC -o "$work/libsdl_script.so" "$root/bench/preload/sdl_script.cpp" $(pkg-config --cflags --libs sdl2)

drive_start_x 1280 1024
drive_start_pulse "$work"
drive_wine_prefix "$work"
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
wineserver -w  # the set-up's server ends; a persistent one stays between the starts, as on a desktop
wineserver -p

now_ms() { echo $(($(date +%s%N) / 1000000)); }
window_of() { xdotool search --onlyvisible --name '^Tarnwood$' 2> /dev/null | head -n 1; }
gone() { [[ -z "$(window_of)" ]]; }

# One start of the Windows program: milliseconds from its start to its first present, taken by
# build-windows/first_present.exe, which starts it as its debugger and ends it at the mark.
start_windows() {
  "$wine" "$root/build-windows/first_present.exe" "$(winepath_of "$work/win/tarnwood.exe")"
}
winepath_of() { echo "Z:${1//\//\\}"; }

# One start of the Linux program: milliseconds to its first present (the preload ends it there).
start_linux() {
  local t0
  rm -f "$work/mark"
  t0=$(now_ms)
  (cd "$work/linux" && SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=pulseaudio TARNWOOD_SCRIPT_PRESENT_FD=3 \
    LD_PRELOAD="$work/libsdl_script.so" exec "$root/build/tarnwood" 3>&1 > /dev/null 2>&1) | {
    read -r _ && echo $(($(now_ms) - t0)) > "$work/mark"
    cat > /dev/null
  }
  cat "$work/mark"
}

stats() { sort -n | awk '{a[NR] = $1} END {printf "median %d ms, fastest %d ms (%d runs)\n", a[int((NR + 1) / 2)], a[1], NR}'; }

start_windows > /dev/null  # the first start fills the prefix's caches
echo "tarnwood.exe under Wine: $(for ((i = 0; i < runs; i++)); do start_windows; done | stats)"
echo "tarnwood on Linux (SDL, X11): $(for ((i = 0; i < runs; i++)); do start_linux; done | stats)"

# The resting main menu: CPU ticks of the program, the Wine server and the X server over 10 s.
(cd "$work/win" && WINEDEBUG=-all exec "$wine" tarnwood.exe > /dev/null 2>&1) &
drive_wait 30 window_of || drive_fail "no window"
sleep 3
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
program="$(pgrep -n -x tarnwood.exe)" server="$(pgrep -n wineserver)" xserver="$DRIVE_X_PID"
p0=$(ticks "$program") s0=$(ticks "$server") x0=$(ticks "$xserver")
sleep 10
p1=$(ticks "$program") s1=$(ticks "$server") x1=$(ticks "$xserver")
hz=$(getconf CLK_TCK)
awk -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v x=$((x1 - x0)) -v hz="$hz" 'BEGIN {
  printf "resting main menu of tarnwood.exe over 10 s: program %.1f%%, Wine server %.1f%%, X server %.1f%% of one core\n",
    100 * p / hz / 10, 100 * s / hz / 10, 100 * x / hz / 10 }'
xdotool windowfocus --sync "$(window_of)" 2> /dev/null || true
drive_key Escape
drive_wait 10 gone || true
