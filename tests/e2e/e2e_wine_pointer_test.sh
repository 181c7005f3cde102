#!/usr/bin/env bash
# The pointer of tarnwood.exe under Wine with a window manager (openbox), through restarts: in a
# copy of the shipped folder, on a virtual X server with the game's modes and a private PulseAudio
# null sink as the sound device, each instance is driven to the four edges of the screen by
# relative moves in steps smaller than half the screen (motion that the system pointer gives only
# while it is kept away from the screen's edges), and a screenshot after each shows the game's
# pointer touching that edge (once it follows the mouse at all: a new instance that the window
# manager left without the focus is given it); then a language change restarts the program.
# RESTARTS restarts
# (10 unless given), so RESTARTS + 1 instances are checked.
# Usage: e2e_wine_pointer_test.sh DIST_FOLDER E2E_CHECK [RESTARTS]
set -euo pipefail
dist="$(realpath "$1")" check="$(realpath "$2")" restarts="${3:-10}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/drive.sh"
started=$SECONDS
wine=/usr/lib/wine/wine64

work="$(mktemp -d)"
pulse_pid="" wm_pid=""
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2> /dev/null || true
  [[ -n "$wm_pid" ]] && kill "$wm_pid" 2> /dev/null && wait "$wm_pid" 2> /dev/null || true
  [[ -n "$pulse_pid" ]] && kill "$pulse_pid" 2> /dev/null && wait "$pulse_pid" 2> /dev/null || true
  drive_stop_x
  if [[ -n "${E2E_KEEP:-}" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

cp -r "$dist" "$work/Tarnwood"
game="$work/Tarnwood"
shots="$game/Files/Screenshots"
cfg="$game/Files/Tarnwood.cfg"
mkdir -p "$shots"

drive_start_x 1280 1024
drive_add_game_modes
openbox > "$work/openbox.log" 2>&1 &
wm_pid=$!

drive_start_pulse "$work"

drive_wine_prefix "$work"

window_of() { xdotool search --onlyvisible --name '^Tarnwood$' 2> /dev/null | head -n 1; }
# settle: every screenshot under way is finished, then none is left. A press of F12 that the
# program took late (while it starts, or one repeated below) saves its picture after the one
# awaited; left lying, it would be the answer to the next probe, which would then see the pointer
# where it was one probe earlier ("stopped short of the edge").
settle() {
  sleep 1
  drive_wait 20 drive_shots_settled "$shots" || drive_fail "instance $n: screenshots not finished"
  rm -f "$shots"/Screenshot_*.png
}
# shot TARGET: F12, and the screenshot it saves moved to TARGET; a press the program missed is
# repeated.
shot() {
  local i
  for ((i = 0; i < 5; i++)); do
    drive_key F12
    if drive_wait 4 drive_find_shot "$check" "$shots"; then
      sleep 0.3
      drive_wait 20 drive_shots_settled "$shots" || drive_fail "instance $n: screenshots not finished"
      mv "$(drive_find_shot "$check" "$shots")" "$1"
      ((i == 0)) || settle
      return 0
    fi
  done
  drive_fail "instance $n: no screenshot after F12"
}
# ready TARGET: the window is up and F12 (repeated while the program still starts) saves a
# screenshot, moved to TARGET.
ready() {
  local i
  drive_wait 30 window_of || drive_fail "instance $n: no Tarnwood window; windows: $(drive_windows)"
  for ((i = 0; i < 30; i++)); do
    drive_key F12
    if drive_wait 1 drive_find_shot "$check" "$shots"; then
      sleep 0.3
      drive_wait 20 drive_shots_settled "$shots" || drive_fail "instance $n: screenshots not finished"
      mv "$(drive_find_shot "$check" "$shots")" "$1"
      settle
      return 0
    fi
  done
  drive_fail "instance $n: no screenshot after F12; windows: $(drive_windows)"
}

# edge NAME DX DY: six moves of (DX, DY), then the pointer must touch the edge NAME.
edge() {
  local i box
  for ((i = 0; i < 6; i++)); do
    xdotool mousemove_relative -- "$2" "$3"
    sleep 0.05
  done
  sleep 0.2
  shot "$work/edge.png"
  box="$("$check" pointer "$work/edge.png")" || drive_fail "instance $n: no pointer in the screenshot ($box)"
  set -- "$1" $box
  case "$1" in
    left) (($2 == 0)) ;; top) (($3 == 0)) ;; right) (($4 == 1023)) ;; bottom) (($5 == 767)) ;;
  esac || drive_fail "instance $n: the pointer stopped short of the $1 edge (its box: $box)"
}

# follows: the game's pointer follows the mouse at all. Under the window manager a new instance
# does not always get the focus (and with it the mouse) by itself: then it is given the focus, as
# a player's click would, and the probe repeated.
follows() {
  local i start moved
  start="$("$check" pointer "$work/start.png")" || drive_fail "instance $n: no pointer on the start screen"
  for ((i = 0; i < 5; i++)); do
    xdotool mousemove_relative -- 40 0
    sleep 0.5
    shot "$work/probe.png"
    moved="$("$check" pointer "$work/probe.png")" || true
    [[ "$moved" != "$start" ]] && return 0
    if ((i >= 2)); then
      xdotool windowactivate --sync "$(window_of)" 2> /dev/null || true
      sleep 0.5
    fi
  done
  drive_fail "instance $n: the pointer does not follow the mouse at all"
}

(cd "$game" && "$wine" tarnwood.exe > "$work/run.log" 2>&1) &
language=German
for ((n = 0; n <= restarts; n++)); do
  ready "$work/start.png"
  follows
  edge left -300 0
  edge top 0 -300
  edge right 300 0
  edge bottom 0 300
  ((n == restarts)) && break
  # From the bottom right corner to the language page (already open after a restart) and the
  # other language: the running instance starts the next one and ends.
  DRIVE_PX=1023 DRIVE_PY=767
  if ((n == 0)); then
    drive_click_at 512 683
    sleep 0.3
    drive_click_at 352 255
    sleep 0.3
    drive_click_at 512 255
    sleep 0.3
  fi
  # The instance is followed by its process, not its window: the X server hands a freed client
  # slot to the next client, so the new instance's window can get the old one's id.
  old="$(drive_wine_pids 'tarnwood\.exe')"
  [[ "$old" =~ ^[0-9]+$ ]] || drive_fail "instance $n: not exactly one tarnwood.exe process: $old"
  shot "$work/language_$n.png"
  if [[ $language == German ]]; then drive_click_at 672 295; language=English; else drive_click_at 672 255; language=German; fi
  gone() { [[ ! -e /proc/$old || "$(awk '{print $3}' "/proc/$old/stat" 2> /dev/null)" == Z ]]; }
  drive_wait 15 gone || drive_fail "instance $n did not end after the language change"
  grep -q "^Language = $language" "$cfg" || drive_fail "instance $n: the settings file does not say $language"
done
drive_key Escape
sleep 0.3
drive_key Escape
echo "ok: $((restarts + 1)) instances under Wine with openbox, each one's pointer reached all four edges ($((SECONDS - started)) s)"
