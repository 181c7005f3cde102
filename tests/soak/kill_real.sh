#!/usr/bin/env bash
# Killed while writing, the real program: under a virtual X server the program switches the
# information lines on and off as fast as clicks go (each switch writes the settings file) and
# takes a screenshot now and then; at a random moment (seeded) it gets SIGKILL. After every kill:
# the settings file is byte for byte one of the two contents the switches write; every file under
# a screenshot's name is a complete PNG; and once the next instance runs its menu, no temporary
# file of a killed instance is left beside the settings file or among the screenshots.
# Usage: kill_real.sh BUILD_DIR [KILLS] [SEED]     (defaults: 50 kills, seed 1)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(realpath "$1")" kills="${2:-50}" RANDOM="${3:-1}"
program="$build/tarnwood" check="$build/tests/e2e_check"
source "$root/tests/e2e/drive.sh"

work="$(mktemp -d)"
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill -KILL "$pid" 2> /dev/null || true
  drive_stop_x
  if [[ -n "${SOAK_KEEP:-}" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

shots="$work/Files/Screenshots" cfg="$work/Files/Tarnwood.cfg"
mkdir -p "$shots"
cp "$root/Files/Tarnwood.cfg" "$cfg"
W=1024 H=768
drive_start_x "$W" "$H"

start_program() {
  (cd "$work" && SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null exec "$program" 2>> "$work/program.log") &
  pid=$!
  drive_wait_window "$pid"
  sleep 0.5
  drive_pointer_home "$W" "$H"
}

# Temporary files (".name.<pid>-...") of processes other than the one running.
stale_temps() {
  local f
  for f in "$work/Files"/.[!.]* "$shots"/.[!.]*; do
    [[ -e "$f" ]] || continue
    [[ "$(basename "$f")" =~ \.([0-9]+)-[^/]+$ ]] && [[ "${BASH_REMATCH[1]}" != "$pid" ]] && echo "$f"
  done
  return 0
}

failures=0 torn=0 partial=0 stale=0 old_new=(0 0) with_temp=0 shots_temp=0 complete=0
flunk() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The two contents: the file as the first start leaves it (information lines off), and the same
# with them on.
start_program
off="$(cat "$cfg"; echo x)"
on="${off/MenuInfo = 0/MenuInfo = 1}"
[[ "$off" != "$on" ]] || { echo "the settings file has no MenuInfo = 0"; exit 1; }

started=$SECONDS
for ((k = 1; k <= kills; k++)); do
  for f in $(stale_temps); do flunk "kill $k: $(basename "$f") is still there after the next start"; stale=$((stale + 1)); done
  # Options -> Gameplay -> Menu info, then On and Off in turn with a screenshot now and then,
  # until the kill comes after a random time.
  deadline=$((SECONDS * 1000 + 500 + RANDOM % 6000))
  (
    drive_click_at 512 683; drive_click_at 352 255; drive_click_at 512 295
    for ((i = 0; ; i++)); do
      drive_click_at 672 295; drive_click_at 672 335
      ((i % 2 == 1)) && drive_key F12
    done
  ) > /dev/null 2>&1 &
  clicker=$!
  while ((SECONDS * 1000 < deadline)); do sleep 0.1; done
  sleep "0.$((RANDOM % 10))"
  kill -KILL "$pid" 2> /dev/null || flunk "kill $k: the program had already ended"
  wait "$pid" 2> /dev/null || true
  kill "$clicker" 2> /dev/null || true
  wait "$clicker" 2> /dev/null || true
  xdotool mouseup 1 keyup F12 2> /dev/null || true

  now="$(cat "$cfg" 2> /dev/null; echo x)"
  if [[ "$now" == "$off" ]]; then old_new[0]=$((old_new[0] + 1))
  elif [[ "$now" == "$on" ]]; then old_new[1]=$((old_new[1] + 1))
  else flunk "kill $k: the settings file is torn or missing"; torn=$((torn + 1)); printf '%s' "${off%x}" > "$cfg"; fi
  for f in "$work/Files"/.Tarnwood.cfg.*; do [[ -e "$f" ]] && with_temp=$((with_temp + 1)); done
  for f in "$shots"/.[!.]*; do [[ -e "$f" ]] && shots_temp=$((shots_temp + 1)); done
  for f in "$shots"/Screenshot_*.png; do
    [[ -e "$f" ]] || continue
    if "$check" size "$f" > /dev/null 2>&1; then complete=$((complete + 1)); else
      flunk "kill $k: $(basename "$f") is not a complete PNG"; partial=$((partial + 1)); fi
    rm -f "$f"
  done
  start_program
done
kill -KILL "$pid" 2> /dev/null; wait "$pid" 2> /dev/null || true
pid=""
echo "kills of the real program: $kills in $((SECONDS - started)) s (seed ${3:-1})"
echo "settings file after the kill: old/new contents ${old_new[0]} / ${old_new[1]}, torn or missing $torn"
echo "kills that left a temporary file: settings $with_temp, screenshots $shots_temp; not removed by the next start: $stale"
echo "screenshots under their final name: $complete complete, $partial incomplete"
((failures == 0)) && echo passed || { echo "FAILED ($failures)"; exit 1; }
