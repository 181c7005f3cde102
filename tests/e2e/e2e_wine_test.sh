#!/usr/bin/env bash
# End-to-end test of tarnwood.exe under Wine on a virtual X server larger than the game
# (1280x1024, with the modes 640x480, 800x600 and 1024x768 at 60 Hz and 1024x768 at 75 Hz added
# for the program's mode switch; the desktop mode must come back at the end),
# in a fresh 64-bit Wine prefix, with a private PulseAudio holding only a null sink as the sound
# device, driven by xdotool, in a copy of the shipped folder (tarnwood.exe and Files/):
#   1. start-up: the window shows; F12 saves a 1024x768 screenshot with the title picture and the
#      five framed main-menu buttons;
#   2. Options -> Gameplay -> Language -> English: the settings file says English, the first
#      instance ends with exit code 0, a new instance opens on the language page with MenuPage
#      back to Main and other texts than the German page;
#   3. the music reaches the sound device: a recording of the null sink's monitor is not silent
#      and matches the stored music;
#   3a. another default output device chosen: the music moves to it, and back when undone;
#   3b. the sound server restarts: the music comes back on it;
#   3c. a second start in the folder while it runs ends at once with exit code 0, the settings
#      file untouched;
#   4. Escape twice ends the new instance, and the desktop mode is back;
#   5. a third start, then another program (Notepad) takes the focus: the desktop mode is back
#      while the game waits in the background; at the end no Wine process of the prefix is left.
# With LINUX_MAIN_SHOT (the Linux program's start-up screenshot at 1024x768), the start-up
# screenshot must equal it pixel for pixel outside the texts, which another rasterizer draws.
# Usage: e2e_wine_test.sh DIST_FOLDER E2E_CHECK TITLE_MUSIC_WAV [LINUX_MAIN_SHOT]
set -euo pipefail
dist="$(realpath "$1")" check="$(realpath "$2")" music="$(realpath "$3")" linux_shot="${4:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/drive.sh"
started=$SECONDS
wine=/usr/lib/wine/wine64

work="$(mktemp -d)"
pulse_pid="" record_pid="" first_pid=""
cleanup() {
  [[ -n "$record_pid" ]] && kill -INT "$record_pid" 2> /dev/null || true
  WINEPREFIX="$work/prefix" wineserver -k 2> /dev/null || true
  [[ -n "$first_pid" ]] && wait "$first_pid" 2> /dev/null || true
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

# The virtual screen, larger than the game, with the modes the program may switch to.
drive_start_x 1280 1024
drive_add_mode 640x480 25.175 640 656 752 800 480 490 492 525
drive_add_mode 800x600 40.00 800 840 968 1056 600 601 605 628
drive_add_game_modes
desktop_size() { xrandr | sed -n 's/.* current \([0-9]*\) x \([0-9]*\),.*/\1x\2/p'; }
desktop_is() { [[ "$(desktop_size)" == "$1" ]]; }
[[ "$(desktop_size)" == 1280x1024 ]] || drive_fail "the desktop is $(desktop_size), not 1280x1024"

# A private sound server with a null sink, recorded through its monitor, and a second one
# ("Headset") for a change of the default device.
drive_start_pulse "$work"
pactl load-module module-null-sink sink_name=headset rate=44100 sink_properties=device.description=Headset > /dev/null

drive_wine_prefix "$work"
# No window manager here: Wine draws its own window frames (message boxes get a caption).
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1

# The program's windows by title; the first one found.
window_of() { xdotool search --onlyvisible --name '^Tarnwood$' 2> /dev/null | head -n 1; }
# wait_ready TARGET: the window is up and F12 (repeated while the program still starts) saves a
# screenshot, moved to TARGET.
wait_ready() {
  local i file
  drive_wait 30 window_of || drive_fail "no Tarnwood window; windows: $(drive_windows)"
  xdotool windowfocus --sync "$(window_of)" 2> /dev/null || true
  for ((i = 0; i < 30; i++)); do
    drive_key F12
    if drive_wait 1 drive_find_shot "$check" "$shots"; then
      sleep 0.3
      file="$(drive_find_shot "$check" "$shots")"
      mv "$file" "$1"
      rm -f "$shots"/Screenshot_*.png
      return 0
    fi
  done
  drive_fail "no screenshot after F12: the menu does not run; windows: $(drive_windows)"
}

# 1. Start-up.
(cd "$game" && "$wine" tarnwood.exe > "$work/first.log" 2>&1; echo "exit $?" > "$work/first.exit") &
first_pid=$!
wait_ready "$work/main_de.png"
size="$("$check" size "$work/main_de.png")"
[[ "$size" == "1024 768" ]] || drive_fail "screenshot is $size, not 1024 768"
# The settings ask for 1024x768 at 75 Hz, which the screen offers: the program switched to it.
[[ "$(desktop_size)" == 1024x768 ]] || drive_fail "the display mode is $(desktop_size), not 1024x768"
for x in 117 277 437 597 757; do
  "$check" button "$work/main_de.png" "$x" 668 150 30 || drive_fail "main menu button at $x, 668"
done
"$check" backdrop "$work/main_de.png" 0 100 1024 500 > /dev/null || drive_fail "no title picture behind the menu"
if [[ -n "$linux_shot" ]]; then
  # The texts at 1024x768: the title, the five button captions (inside the frames) and the version.
  texts=(300 40 424 60 860 736 164 32)
  for x in 117 277 437 597 757; do texts+=($((x + 2)) 670 146 26); done
  n="$("$check" diffoutside "$linux_shot" "$work/main_de.png" "${texts[@]}")"
  [[ "$n" == 0 ]] || drive_fail "$n pixels outside the texts differ from the Linux program's screenshot"
  echo "ok: the same pixels as the Linux program outside the texts"
fi
echo "ok: main menu on start-up ($((SECONDS - started)) s)"

# 2. Options -> Gameplay -> Language, then English.
drive_pointer_home 1024 768
drive_click_at 512 683
drive_click_at 352 255
drive_click_at 512 255
drive_shot "$check" "$shots" "$work/language_de.png"
drive_click_at 672 295
drive_wait 15 test -e "$work/first.exit" || drive_fail "the first instance did not end after the language change"
grep -q '^exit 0$' "$work/first.exit" || drive_fail "first instance: $(cat "$work/first.exit")"
first_pid=""
grep -q '^Language = English' "$cfg" || drive_fail "the settings file does not say English: $(grep Language "$cfg")"
wait_ready "$work/language_en.png"
grep -q '^MenuPage = Main' "$cfg" || drive_fail "the new instance did not reset MenuPage"
"$check" button "$work/language_en.png" 437 668 150 30 || drive_fail "English page: no framed Back button"
for rect in "277 200" "277 280" "597 240" "597 280" "437 668"; do
  set -- $rect
  n="$("$check" diff "$work/language_de.png" "$work/language_en.png" $(($1 + 10)) $(($2 + 5)) 130 20)"
  ((n > 20)) || drive_fail "text at $1, $2 is the same in German and English ($n pixels differ)"
done
echo "ok: language change restarted the program in English ($((SECONDS - started)) s)"

# 3. The music on the sound device: about four seconds from the null sink's monitor, as raw
# samples.
# record_music [SINK]: from SINK's monitor (nullsink unless given).
record_music() {
  parec -d "${1:-nullsink}.monitor" --format=s16le --rate=44100 --channels=2 --raw > "$work/audio.raw" 2> "$work/parec.log" &
  record_pid=$!
  sleep 4
  kill -INT "$record_pid" 2> /dev/null || true
  wait "$record_pid" 2> /dev/null || true
  record_pid=""
  "$check" audio "$work/audio.raw" "$music"
}
record_music || drive_fail "the sound device did not get the title music"

# 3a. The player chooses another default output device (Wine keeps the choice in its registry,
# where its audio settings write it): the music moves to that device, and back to the system's
# default when the choice is undone.
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\MMDevices\Audio\Render' /s 2> /dev/null |
  tr -d '\r' > "$work/render.txt"
headset="$(awk '/Render\\\{/ && !/Properties/ {key = $0} /REG_SZ +Headset$/ {print key; exit}' "$work/render.txt" |
  grep -o '{[^{}]*}$')" || drive_fail "Wine lists no Headset output device: $(cat "$work/render.txt")"
drivers='HKCU\Software\Wine\Drivers\winepulse.drv'
"$wine" reg add "$drivers" /v DefaultOutput /d "{0.0.0.00000000}.$headset" /f > /dev/null 2>&1
sleep 1
record_music headset || drive_fail "the music did not move to the newly chosen default device"
"$wine" reg delete "$drivers" /v DefaultOutput /f > /dev/null 2>&1
sleep 1
record_music || drive_fail "the music did not move back to the system's default device"
echo "ok: the music followed the chosen default device there and back ($((SECONDS - started)) s)"

# 3b. The sound server ends and starts again (as when a player's sound system restarts or a
# device is unplugged): the game opens the device again by itself and the music comes back.
kill "$pulse_pid" && wait "$pulse_pid" 2> /dev/null || true
sleep 2
drive_start_pulse "$work"
sleep 2
record_music || drive_fail "the music did not come back after the sound server restarted"
echo "ok: the music came back after the sound server restarted ($((SECONDS - started)) s)"

# 3c. A second start in the folder while the game runs ends at once with exit code 0 and leaves
# the settings file as it was; the running game goes on.
cp "$cfg" "$work/running.cfg"
t0=$SECONDS
(cd "$game" && timeout 20 "$wine" tarnwood.exe > "$work/second_start.log" 2>&1) && status=0 || status=$?
((status == 0)) || drive_fail "a second start ended with exit code $status"
((SECONDS - t0 <= 10)) || drive_fail "a second start took $((SECONDS - t0)) s to end"
cmp -s "$work/running.cfg" "$cfg" || drive_fail "a second start changed the settings file"
[[ -n "$(window_of)" ]] || drive_fail "the running game ended at a second start"
echo "ok: a second start in the folder ended at once with exit code 0 ($((SECONDS - t0)) s)"

# 4. Escape leaves the language page, a second one the program.
drive_key Escape
sleep 0.3
drive_key Escape
gone() { [[ -z "$(window_of)" ]]; }
drive_wait 10 gone || drive_fail "the program did not end on Escape"
# The desktop's own mode is back.
drive_wait 5 desktop_is 1280x1024 || drive_fail "the display mode stayed at $(desktop_size)"
echo "ok: Escape ended the program ($((SECONDS - started)) s)"

# 5. Switching away: another program takes the focus, the game gives the desktop its mode back.
(cd "$game" && "$wine" tarnwood.exe > "$work/third.log" 2>&1) &
wait_ready "$work/third.png"
[[ "$(desktop_size)" == 1024x768 ]] || drive_fail "the display mode is $(desktop_size), not 1024x768"
"$wine" notepad > /dev/null 2>&1 &
drive_wait 10 desktop_is 1280x1024 || drive_fail "switched away, the display mode stayed $(desktop_size)"
WINEPREFIX="$work/prefix" wineserver -k 2> /dev/null || true
echo "ok: switching to another program gave the desktop mode back; Wine e2e passed in $((SECONDS - started)) s"
