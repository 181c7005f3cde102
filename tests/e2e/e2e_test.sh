#!/usr/bin/env bash
# End-to-end test of the real program: under a virtual X server, driven by xdotool, with SDL's
# disk audio driver, in a fresh folder holding a copy of the shipped Files/. The desktop
# (1280x1024) is larger than the game (1024x768): the pointer must follow the mouse one to one, or
# the clicks of step 2, each a relative move from the last, miss their entries.
#   1. start-up: the menu runs (no message box), a screenshot (F12) is 1024x768 and shows the
#      title picture and the five framed main-menu buttons;
#   2. Options -> Gameplay -> Language, screenshot (which the X screen shows too, letterboxed),
#      English: the program writes "English" to its settings file, starts a new instance and ends
#      with exit code 0; the new instance opens on the language page with English captions (the
#      button texts differ from the German shot);
#   3. the music: the disk audio output of the new instance is loud and matches the stored music;
#   3b. a second start in the folder while the game runs ends at once with exit code 0, touching
#      neither the settings file nor the sound device;
#   4. Escape (language page -> main menu -> quit) ends it with exit code 0, nothing left running;
#   5. with a width of 0 in the settings file no screen opens: a message box names the failed
#      values, and once it is closed (Return) the program ends with a non-zero exit code, its
#      settings file untouched.
# With E2E_ELSEWHERE=1 steps 1-4 start the program from a folder without Files/.
# Usage: e2e_test.sh TARNWOOD SUBREAPER E2E_CHECK FILES_DIR TITLE_MUSIC_WAV
set -euo pipefail
program="$(realpath "$1")" subreaper="$(realpath "$2")" check="$(realpath "$3")"
files="$(realpath "$4")" music="$(realpath "$5")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/drive.sh"
started=$SECONDS

work="$(mktemp -d)"
reaper_pid=""
cleanup() {
  if [[ -n "$reaper_pid" ]] && kill -0 "$reaper_pid" 2> /dev/null; then
    kill -KILL -- "-$reaper_pid" 2> /dev/null || true  # the program's process group
    wait "$reaper_pid" 2> /dev/null || true
  fi
  drive_stop_x
  if [[ -n "${E2E_KEEP:-}" ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

mkdir -p "$work/Files/Screenshots"
cp "$files/Tarnwood.cfg" "$work/Files/"
shots="$work/Files/Screenshots"
cfg="$work/Files/Tarnwood.cfg"

# E2E_ELSEWHERE=1: started as a file manager starts it, from a folder without Files/ (the
# program's copy sits beside the test's Files/, and works there).
start_in="$work"
if [[ -n "${E2E_ELSEWHERE:-}" ]]; then
  cp "$program" "$work/"
  program="$work/$(basename "$program")"
  start_in="$work/elsewhere"
  mkdir -p "$start_in"
fi

W=1024 H=768
drive_start_x 1280 1024
# The program and its restarted instance run under the subreaper, in their own process group.
(
  cd "$start_in"
  export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw"
  exec setsid "$subreaper" "$program" > "$work/reaped.txt" 2> "$work/program.log"
) &
reaper_pid=$!

# The first instance is the subreaper's child.
drive_wait 5 drive_has_child "$reaper_pid" || true
first="$(drive_child_of "$reaper_pid")"
[[ -n "$first" ]] || drive_fail "the program did not start; $(cat "$work/program.log")"

# 1. Start-up and the main menu.
drive_ready "$check" "$shots" "$work/main_de.png" "$first"
size="$("$check" size "$work/main_de.png")"
[[ "$size" == "$W $H" ]] || drive_fail "screenshot is $size, not $W $H"
# The main-menu buttons at 1024x768 (layout table): 150x30 at y 668, 160 apart from x 117.
for x in 117 277 437 597 757; do
  "$check" button "$work/main_de.png" "$x" 668 150 30 || drive_fail "main menu button at $x, 668"
done
"$check" backdrop "$work/main_de.png" 0 100 1024 500 > /dev/null || drive_fail "no title picture behind the menu"
# The screenshot stays for the end-to-end test of the Windows program, which compares with it.
[[ -z "${E2E_MAIN_SHOT:-}" ]] || cp "$work/main_de.png" "$E2E_MAIN_SHOT"
echo "ok: main menu on start-up"

# 2. Options -> Gameplay -> Language (German), then English.
drive_pointer_home "$W" "$H"
drive_click_at 512 683   # Optionen
drive_click_at 352 255   # Gameplay
drive_click_at 512 255   # Sprache
drive_shot "$check" "$shots" "$work/language_de.png"
# What the X screen shows is that frame, letterboxed: after the moves and page changes above, in
# which only the changed rows of each frame reached the screen, no row is stale.
"$check" shown "$work/language_de.png" || drive_fail "the screen does not show the frame of the screenshot"
grep -q '^Language = German' "$cfg" || drive_fail "settings changed before the language was chosen"
drive_click_at 672 295   # Englisch: restart

drive_wait 10 grep -q "^exit $first " "$work/reaped.txt" || drive_fail "the first instance did not end after the language change"
grep -q "^exit $first 0$" "$work/reaped.txt" || drive_fail "first instance: $(grep "$first" "$work/reaped.txt")"
drive_wait 5 drive_has_child "$reaper_pid" || drive_fail "no new instance after the language change"
second="$(drive_child_of "$reaper_pid")"
[[ "$second" != "$first" ]] || drive_fail "the new instance has the old process id"
grep -q '^Language = English' "$cfg" || drive_fail "the settings file does not say English: $(grep Language "$cfg")"
drive_ready "$check" "$shots" "$work/language_en.png" "$second"
grep -q '^MenuPage = Main' "$cfg" || drive_fail "the new instance did not reset MenuPage"
# Same page, other texts: the text areas of the entries Controls, Graphics, Audio, German,
# English and of the framed Back button differ between the German and the English screenshot.
"$check" button "$work/language_en.png" 437 668 150 30 || drive_fail "English page: no framed Back button"
for rect in "277 200" "277 280" "277 320" "597 240" "597 280" "437 668"; do
  set -- $rect
  n="$("$check" diff "$work/language_de.png" "$work/language_en.png" $(($1 + 10)) $(($2 + 5)) 130 20)"
  ((n > 20)) || drive_fail "text at $1, $2 is the same in German and English ($n pixels differ)"
done
echo "ok: language change restarted the program in English"

# 3. Let the new instance play two seconds of music into the disk output (written in real time).
audio_longer_than() { (($(stat -c %s "$work/audio.raw") > $1 * 44100 * 4)); }
drive_wait 10 audio_longer_than 3 || drive_fail "no audio output"
"$check" audio "$work/audio.raw" "$music" || drive_fail "the audio output is not the title music"

# 3b. A second start in the same folder while the game runs ends at once with exit code 0, with
# the settings file untouched and no sound device opened (its disk audio file never appears).
cp "$cfg" "$work/running.cfg"
t0=$SECONDS
(
  cd "$work"
  export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/second_audio.raw"
  exec timeout 10 "$program" > "$work/second_start.log" 2>&1
) && status=0 || status=$?
((status == 0)) || drive_fail "a second start ended with exit code $status: $(cat "$work/second_start.log")"
((SECONDS - t0 <= 3)) || drive_fail "a second start took $((SECONDS - t0)) s to end"
cmp -s "$work/running.cfg" "$cfg" || drive_fail "a second start changed the settings file"
[[ ! -e "$work/second_audio.raw" ]] || drive_fail "a second start opened the sound device"
kill -0 "$second" 2> /dev/null || drive_fail "the running game ended at a second start"
echo "ok: a second start in the folder ended at once, touching nothing"

# 4. Escape leaves the language page, a second Escape the program.
drive_key Escape
sleep 0.3
drive_key Escape
drive_wait 10 grep -q '^reaped' "$work/reaped.txt" || drive_fail "the program did not end on Escape"
wait "$reaper_pid" && status=0 || status=$?
reaper_pid=""
cat "$work/reaped.txt"
grep -q "^exit $second 0$" "$work/reaped.txt" || drive_fail "the new instance did not end with exit code 0"
grep -q '^reaped 2$' "$work/reaped.txt" || drive_fail "expected exactly two processes"
((status == 0)) || drive_fail "a process ended with a failure"
echo "ok: Escape ended the program with exit code 0"

# 5. A display that cannot open. With the program's own folder in the file nothing is rewritten
# while the settings load; the loop would reset "GraphicRes" to "Main" as it chose its first page.
bad="$work/bad"
mkdir -p "$bad/Files/Screenshots"
sed -e "s|^PathMain *=.*|PathMain = $(dirname "$program")/|" -e 's/^ScreenW *=.*/ScreenW = 0/' \
  -e 's/^MenuPage *=.*/MenuPage = GraphicRes/' "$files/Tarnwood.cfg" > "$bad/Files/Tarnwood.cfg"
cp "$bad/Files/Tarnwood.cfg" "$work/bad.cfg"
(
  cd "$bad"
  export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$bad/audio.raw"
  exec "$program" > "$bad/program.log" 2>&1
) &
bad_pid=$!
drive_wait 15 drive_window_named Tarnwood ||
  drive_fail "no message box for a display that cannot open; windows: $(drive_windows)"
box="$(drive_window_named Tarnwood)"
width="$(xwininfo -id "$box" | sed -n 's/^ *Width: //p')"
((width < 1024)) || drive_fail "the window shown is not a message box: $(drive_windows)"
kill -0 "$bad_pid" 2> /dev/null || drive_fail "the program ended before the message box was closed"
# Return closes the box once it has the keyboard: the pointer on it, and the focus given to it
# (the earlier instances took the focus, which went nowhere when their windows closed). The box
# may not read keys the moment it shows, hence the retries.
bad_running() { [[ -n "$(ps -o stat= -p "$bad_pid" | grep -v Z)" ]]; }
for ((i = 0; i < 5; i++)); do
  xdotool mousemove --window "$box" 20 20
  xdotool windowfocus "$box" 2> /dev/null || true
  sleep 0.3
  drive_key Return
  drive_wait 2 bash -c "[[ -z \"\$(ps -o stat= -p $bad_pid | grep -v Z)\" ]]" && break
done
bad_running && drive_fail "the program did not end after its message box was closed"
wait "$bad_pid" && status=0 || status=$?
((status != 0)) || drive_fail "a display that cannot open ended with exit code 0"
cmp -s "$work/bad.cfg" "$bad/Files/Tarnwood.cfg" || drive_fail "the settings file was changed"
echo "ok: a display that cannot open is reported, exit code $status, nothing written"
echo "e2e passed in $((SECONDS - started)) s"
