#!/usr/bin/env bash
# A scripted tour of Tarnwood for machines without a display: runs the built program in
# build/run/ under a virtual X server, clicks through all 22 menu pages (1024x768 layout) saving a
# screenshot of each with the screenshot key, switches the language to English (the program
# restarts itself) for one more screenshot, and quits with Escape. The pictures are left in
# build/run/Files/Screenshots/ as NN_<page>.png; the settings file is put back as it was.
# Usage: tour.sh BUILD_DIR (run by scripts/run.sh after the build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
source "$root/tests/e2e/drive.sh"
run="$build/run"
shots="$run/Files/Screenshots"
check="$build/tests/e2e_check"
cfg="$run/Files/Tarnwood.cfg"

[[ "$(sed -n 's/^ScreenW *= *//p' "$cfg")x$(sed -n 's/^ScreenH *= *//p' "$cfg")" == 1024x768 ]] ||
  drive_fail "the tour follows the 1024x768 layout: set ScreenW = 1024, ScreenH = 768 in $cfg"
cp "$cfg" "$run/Tarnwood.cfg.before-tour"
reaper_pid=""
cleanup() {
  if [[ -n "$reaper_pid" ]] && kill -0 "$reaper_pid" 2> /dev/null; then
    kill -KILL -- "-$reaper_pid" 2> /dev/null || true
    wait "$reaper_pid" 2> /dev/null || true
  fi
  drive_stop_x
  mv "$run/Tarnwood.cfg.before-tour" "$cfg"
}
trap cleanup EXIT
# The tour waits for each new Screenshot_<n>.png: earlier ones (which the program would overwrite
# anyway, counting from 1 again) are kept aside; an earlier tour's pictures are replaced.
rm -f "$shots"/[0-9][0-9]_*.png
if compgen -G "$shots/Screenshot_*.png" > /dev/null; then
  mkdir -p "$shots/earlier"
  mv "$shots"/Screenshot_*.png "$shots/earlier/"
  echo "tour: earlier screenshots moved to $shots/earlier/"
fi

drive_start_x 1024 768
echo "tour: Tarnwood on the virtual display $DISPLAY, sound into $run/audio.raw"
(
  cd "$run"
  export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$run/audio.raw"
  exec setsid "$build/tests/subreaper" "$build/tarnwood" > "$run/tour-processes.txt" 2> "$run/tour.log"
) &
reaper_pid=$!
drive_wait 5 drive_has_child "$reaper_pid" || drive_fail "Tarnwood did not start: $(cat "$run/tour.log")"
pid="$(drive_child_of "$reaper_pid")"

n=1
drive_ready "$check" "$shots" "$shots/01_main.png" "$pid"
drive_pointer_home 1024 768
# visit X Y NAME: clicks the entry centred at X, Y and saves the page it leads to, with the
# pointer parked on the lake where it hides no text.
visit() {
  drive_click_at "$1" "$2"
  drive_to 960 600
  n=$((n + 1))
  drive_shot "$check" "$shots" "$shots/$(printf %02d "$n")_$3.png"
  echo "  $(printf %02d "$n")_$3.png"
}
back() { drive_click_at 512 683; }

visit 192 683 new_game;  back
visit 352 683 load_game; back
visit 672 683 credits;   back
visit 512 683 options
visit 352 215 controls
visit 512 215 key_forward
visit 512 255 key_backward
visit 512 295 key_left
visit 512 335 key_right
visit 512 375 key_jump
visit 512 415 key_journal
visit 512 455 key_map
visit 512 495 key_screenshot
visit 352 255 gameplay
visit 512 255 language
visit 512 295 menu_info
visit 352 295 graphics
visit 512 295 resolution
visit 512 335 refresh
visit 352 335 audio
visit 512 335 music
back

# English: Options -> Gameplay -> Language -> English restarts the program on the language page.
drive_click_at 512 683
drive_click_at 352 255
drive_click_at 512 255
drive_click_at 672 295
drive_wait 10 grep -q "^exit $pid " "$run/tour-processes.txt" || drive_fail "Tarnwood did not restart"
drive_wait 5 drive_has_child "$reaper_pid" || drive_fail "no new instance after the language change"
pid="$(drive_child_of "$reaper_pid")"
drive_ready "$check" "$shots" "$shots/23_language_english.png" "$pid"
echo "  23_language_english.png"

drive_key Escape
sleep 0.3
drive_key Escape
drive_wait 10 grep -q '^reaped' "$run/tour-processes.txt" || drive_fail "Tarnwood did not end on Escape"
wait "$reaper_pid" || drive_fail "Tarnwood ended with a failure: $(cat "$run/tour-processes.txt")"
reaper_pid=""
echo "tour: done; the screenshots of every page are in $shots/"
