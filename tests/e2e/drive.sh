# Driving the real program under a virtual X server: sourced by tests/e2e/e2e_test.sh and
# scripts/tour.sh. Needs Xvfb, xdotool and xdpyinfo (packages xvfb, xdotool, x11-utils).
# The program takes the mouse in SDL's relative mode, so only relative pointer moves reach it;
# drive_to keeps track of where its pointer is and moves by the difference. Keys and buttons are
# held for 0.1 s: the program reads input once per frame and does not see a tap shorter than that.

DRIVE_X_PID=""
DRIVE_PX=0
DRIVE_PY=0

drive_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# drive_start_x WIDTH HEIGHT: starts Xvfb on the first free display from :90 and exports DISPLAY.
# -noreset keeps the server as it is when the program's connection ends (the restarted instance
# reconnects). On a screen larger than the program's the picture is letterboxed, while relative
# mouse motion still arrives one to one: drive_to's moves land where it aims either way.
drive_start_x() {
  local n=90
  while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${1}x${2}x24" -noreset -nolisten tcp > /dev/null 2>&1 &
  DRIVE_X_PID=$!
  export DISPLAY=":$n"
  local i
  for ((i = 0; i < 100; i++)); do
    xdpyinfo > /dev/null 2>&1 && return 0
    kill -0 "$DRIVE_X_PID" 2> /dev/null || break
    sleep 0.1
  done
  drive_fail "Xvfb did not start on $DISPLAY"
}

drive_stop_x() {
  if [[ -n "$DRIVE_X_PID" ]]; then
    kill "$DRIVE_X_PID" 2> /dev/null || true
    wait "$DRIVE_X_PID" 2> /dev/null || true
    DRIVE_X_PID=""
  fi
}

# The first child process of PID (empty when it has none).
# drive_start_pulse DIR: a private sound server with one null sink ("nullsink", 44100 Hz, recorded
# through nullsink.monitor) in DIR, for Wine; exports XDG_RUNTIME_DIR, HOME (both inside DIR) and
# PULSE_SERVER, sets pulse_pid, and fails when it does not answer within 10 s.
drive_start_pulse() {
  mkdir -p "$1/pulse" "$1/home"
  export XDG_RUNTIME_DIR="$1/pulse" HOME="$1/home"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -L "module-native-protocol-unix socket=$1/pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=nullsink rate=44100" -L "module-always-sink" > "$1/pulse.log" 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER="unix:$1/pulse/native"
  drive_wait 10 pactl info || drive_fail "no sound server: $(cat "$1/pulse.log")"
}

# drive_add_mode NAME CLOCK HTIMINGS... VTIMINGS...: one more display mode on the virtual X server.
drive_add_mode() { xrandr --newmode "$1" "${@:2}" 2> /dev/null || true; xrandr --addmode screen "$1"; }
# drive_add_game_modes: the game's own modes, 1024x768 at 60 and at 75 Hz.
drive_add_game_modes() {
  drive_add_mode 1024x768 65.00 1024 1048 1184 1344 768 771 777 806
  drive_add_mode 1024x768_75 78.75 1024 1040 1136 1312 768 769 772 800
}

# drive_wine_prefix DIR: a fresh 64-bit Wine prefix in DIR/prefix, exported as WINEPREFIX (with
# Wine's debug output off and no .NET or HTML engine offered); fails with wineboot's log.
drive_wine_prefix() {
  export WINEPREFIX="$1/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  /usr/lib/wine/wine64 wineboot -i > "$1/wineboot.log" 2>&1 || drive_fail "no Wine prefix: $(cat "$1/wineboot.log")"
}

# drive_wine_pids NAME: the processes whose name matches NAME (a pgrep pattern) and that belong
# to $WINEPREFIX; another Wine session on the machine has its own server, devices and games.
drive_wine_pids() {
  local pid
  for pid in $(pgrep "$1"); do
    tr '\0' '\n' < "/proc/$pid/environ" 2> /dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0
}

drive_child_of() { { ps -o pid= --ppid "$1" || true; } | tr -d ' ' | head -n 1; }
drive_has_child() { [[ -n "$(drive_child_of "$1")" ]]; }

# drive_wait SECONDS COMMAND...: polls the command every 0.1 s until it succeeds.
drive_wait() {
  local limit=$(($1 * 10)) i
  shift
  for ((i = 0; i < limit; i++)); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# The named top-level windows as '"name": WxH+X+Y' for failure messages: a start-up message box
# shows up as a small window beside (or instead of) the full-screen one.
drive_windows() {
  xwininfo -root -children 2> /dev/null | sed -n 's/^ *0x[0-9a-f]* \(".*"\): ([^)]*) *\([0-9x+-]*\).*/\1 \2/p' |
    tr '\n' ';'
}

# The id of a top-level window with exactly this name (xwininfo reads the UTF-8 names of SDL's
# message boxes, which xdotool's name search misses); fails when there is none.
drive_window_named() {
  local id
  id="$(xwininfo -root -children 2> /dev/null | sed -n "s/^ *\(0x[0-9a-f]*\) \"$1\": .*/\1/p" | head -n 1)"
  [[ -n "$id" ]] && echo "$id"
}

# Waits until the process PID shows a window (SDL sets _NET_WM_PID).
drive_wait_window() {
  local pid=$1
  if ! drive_wait 15 xdotool search --onlyvisible --pid "$pid"; then
    drive_fail "process $pid shows no window of its own (a message box blocking start-up?);" \
      "windows: $(drive_windows)"
  fi
}

# The program puts its pointer at the bottom centre of the screen when it opens the menu.
drive_pointer_home() {
  DRIVE_PX=$(($1 / 2))
  DRIVE_PY=$(($2 - 20))
}

# drive_to X Y: moves the program's pointer to X, Y (screen pixels).
drive_to() {
  local dx=$(($1 - DRIVE_PX)) dy=$(($2 - DRIVE_PY))
  xdotool mousemove_relative -- "$dx" "$dy"
  DRIVE_PX=$1
  DRIVE_PY=$2
  sleep 0.1
}

drive_click() {
  xdotool mousedown 1
  sleep 0.1
  xdotool mouseup 1
  sleep 0.15
}

# drive_click_at X Y
drive_click_at() {
  drive_to "$1" "$2"
  drive_click
}

# drive_key KEYSYM
drive_key() {
  xdotool keydown "$1"
  sleep 0.1
  xdotool keyup "$1"
  sleep 0.1
}

# The screenshot in FOLDER once it is a complete PNG (the program numbers them from 1 in each run;
# the callers move each one away).
drive_find_shot() {
  local checker=$1 file
  for file in "$2"/Screenshot_*.png; do
    [[ -e "$file" ]] && "$checker" size "$file" > /dev/null 2>&1 && { echo "$file"; return 0; }
  done
  return 1
}

# The program writes a screenshot off its frame loop, under a hidden temporary name beside the
# final one, and renames it when complete: one is under way or done in FOLDER...
drive_shot_started() { compgen -G "$1/.Screenshot_*" > /dev/null || compgen -G "$1/Screenshot_*.png" > /dev/null; }
# ...and none is under way any more.
drive_shots_settled() { ! compgen -G "$1/.Screenshot_*" > /dev/null; }

# drive_shot CHECKER FOLDER TARGET: presses F12, waits for the screenshot and moves it to TARGET.
drive_shot() {
  local file
  drive_key F12
  drive_wait 20 drive_find_shot "$1" "$2" || drive_fail "no screenshot in $2 after F12"
  drive_wait 20 drive_shots_settled "$2" || drive_fail "screenshots in $2 not finished"
  file="$(drive_find_shot "$1" "$2")"
  mv "$file" "$3"
}

# drive_ready CHECKER FOLDER TARGET PID: waits until the program PID runs its menu: its window is
# up, and F12 (repeated while the program is still starting and reads no keys) saves a screenshot,
# which is moved to TARGET. The pointer is then at its starting place.
drive_ready() {
  local checker=$1 folder=$2 target=$3 pid=$4 i file
  drive_wait_window "$pid"
  for ((i = 0; i < 20; i++)); do
    kill -0 "$pid" 2> /dev/null || drive_fail "process $pid ended during start-up"
    drive_key F12
    if drive_wait 1 drive_shot_started "$folder"; then
      # A late second press may still save one more: every one is finished before they go.
      drive_wait 20 drive_find_shot "$checker" "$folder" || drive_fail "process $pid: screenshot not completed"
      sleep 0.3
      drive_wait 20 drive_shots_settled "$folder" || drive_fail "process $pid: screenshots not finished"
      file="$(drive_find_shot "$checker" "$folder")"
      mv "$file" "$target"
      rm -f "$folder"/Screenshot_*.png
      return 0
    fi
  done
  drive_fail "process $pid saves no screenshot: its menu does not run (a message box blocking" \
    "start-up?); windows: $(drive_windows)"
}
