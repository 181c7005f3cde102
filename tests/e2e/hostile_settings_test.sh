#!/usr/bin/env bash
# End-to-end test of the real program with hostile settings files: under a virtual X server, the
# program starts with Files/Tarnwood.cfg as a named pipe that no one writes to, as 10 MB of random
# bytes, and as UTF-16 text with a byte-order mark. Each time the menu must come up at the
# start-up defaults (a 1024x768 screenshot on F12), the music toggle (a write of the settings file)
# must not touch the file, Escape must end the program with exit code 0, and the file must be left
# exactly as it was, with nothing written beside it.
# Usage: hostile_settings_test.sh TARNWOOD SUBREAPER E2E_CHECK
set -euo pipefail
program="$(realpath "$1")" subreaper="$(realpath "$2")" check="$(realpath "$3")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/drive.sh"
started=$SECONDS

work="$(mktemp -d)"
reaper_pid=""
cleanup() {
  if [[ -n "$reaper_pid" ]] && kill -0 "$reaper_pid" 2> /dev/null; then
    kill -KILL -- "-$reaper_pid" 2> /dev/null || true
    wait "$reaper_pid" 2> /dev/null || true
  fi
  drive_stop_x
  if [[ -n "${E2E_KEEP:-}" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

W=1024 H=768
drive_start_x "$W" "$H"
cfg="$work/Files/Tarnwood.cfg"
shots="$work/Files/Screenshots"

# What stands at the settings file's place: its kind, and the checksum of a regular file.
fingerprint() {
  local kind
  kind="$(stat -c %F "$cfg")"
  if [[ "$kind" == "regular file" ]]; then echo "$kind $(sha256sum < "$cfg")"; else echo "$kind"; fi
}

# No screenshot is being written (no temporary file) and none came in the last second.
shots_settled() {
  local before
  before="$(ls -A "$shots")"
  sleep 1
  [[ "$(ls -A "$shots")" == "$before" && -z "$(ls -A "$shots" | grep '^\.')" ]]
}

run_case() {
  local what=$1
  rm -rf "$work/Files" "$work/reaped.txt"
  mkdir -p "$shots"
  case "$what" in
    pipe) mkfifo "$cfg" ;;
    random) head -c 10485760 /dev/urandom > "$cfg" ;;
    utf16) printf '\xff\xfe[\0S\0c\0r\0e\0e\0n\0]\0\r\0\n\0S\0c\0r\0e\0e\0n\0W\0=\0008\0\x30\0\x30\0\r\0\n\0' > "$cfg" ;;
  esac
  local before
  before="$(fingerprint)"
  # The X pointer away from the screen's edges, where relative moves would stop short.
  xdotool mousemove $((W / 2)) $((H / 2))
  (
    cd "$work"
    export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
    exec setsid "$subreaper" "$program" > "$work/reaped.txt" 2> "$work/program.log"
  ) &
  reaper_pid=$!
  drive_wait 5 drive_has_child "$reaper_pid" || true
  local pid
  pid="$(drive_child_of "$reaper_pid")"
  [[ -n "$pid" ]] || drive_fail "$what: the program did not start (or ended at once): $(cat "$work/reaped.txt" "$work/program.log")"
  drive_ready "$check" "$shots" "$work/$what.png" "$pid"
  [[ "$("$check" size "$work/$what.png")" == "$W $H" ]] || drive_fail "$what: not the default screen size"
  # Further F12 presses of the start-up check may still be on their way to the folder.
  drive_wait 20 shots_settled || drive_fail "$what: screenshots keep coming"
  rm -f "$shots"/Screenshot_*.png
  # Options -> Audio -> Music off: a write of the settings file, which must not happen.
  drive_pointer_home "$W" "$H"
  drive_click_at 512 683   # Optionen
  drive_click_at 352 335   # Audio
  drive_click_at 512 335   # Musik
  drive_click_at 672 375   # Aus
  # The clicks reached the music page: its category captions stand where the main menu has none.
  drive_key F12
  drive_wait 30 drive_find_shot "$check" "$shots" || drive_fail "$what: no screenshot after F12"
  mv "$(drive_find_shot "$check" "$shots")" "$work/$what-music.png"
  local n
  n="$("$check" diff "$work/$what.png" "$work/$what-music.png" 287 325 130 20)"
  ((n > 20)) || drive_fail "$what: the clicks did not reach the music page"
  drive_key Escape
  sleep 0.3
  drive_key Escape
  drive_wait 10 grep -q '^reaped' "$work/reaped.txt" || drive_fail "$what: the program did not end on Escape"
  wait "$reaper_pid" || drive_fail "$what: $(cat "$work/reaped.txt")"
  reaper_pid=""
  grep -q "^exit $pid 0$" "$work/reaped.txt" || drive_fail "$what: $(cat "$work/reaped.txt")"
  [[ "$(fingerprint)" == "$before" ]] || drive_fail "$what: the settings file changed: $(fingerprint)"
  # The one-game-per-folder lock file is the program's own; nothing else may appear.
  [[ "$(ls -A "$work/Files" | grep -vx '\.Tarnwood\.lock' | tr '\n' ' ')" == "Screenshots Tarnwood.cfg " ]] ||
    drive_fail "$what: written beside the settings file: $(ls -A "$work/Files")"
  echo "ok: $what"
}

for what in pipe random utf16; do run_case "$what"; done
echo "ok: hostile settings files passed in $((SECONDS - started)) s"
