#!/usr/bin/env bash
# The Linux downloads of scripts/package-linux.sh, as players get them (run as root, as CI is):
#   1. the archive, unpacked into a fresh folder: its files, the program's NEEDED libraries (glibc's
#      only) and the display and sound libraries SDL loads at run time; then the end-to-end test
#      (e2e_test.sh) against the unpacked program, started in its folder and from another one;
#   2. the Debian package: lintian reported no error; installed with dpkg -i; a user made for the
#      test starts /usr/games/tarnwood from its home on a virtual X server: the menu shows, the
#      settings file appears in ~/.local/share/tarnwood/Files/ (seeded from the shipped one), F12
#      saves there, a language change restarts into English with that file, nothing is written
#      under /usr; a second user gets a folder of its own; dpkg --purge removes the program and
#      leaves the players' folders.
# Usage: linux_package_test.sh DIST_FOLDER SUBREAPER E2E_CHECK TITLE_MUSIC_WAV
set -euo pipefail
dist="$(realpath "$1")" subreaper="$(realpath "$2")" check="$(realpath "$3")" music="$(realpath "$4")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/drive.sh"
started=$SECONDS
[[ $(id -u) -eq 0 ]] || drive_fail "needs root (dpkg -i, useradd)"

work="$(mktemp -d)"
chmod 755 "$work"
players=(tarnwood-test1 tarnwood-test2)
cleanup() {
  local pid
  for user in "${players[@]}"; do
    for pid in $(pgrep -u "$user" -x tarnwood || true); do kill -KILL "$pid" 2> /dev/null || true; done
  done
  drive_stop_x
  dpkg --purge tarnwood > /dev/null 2>&1 || true
  for user in "${players[@]}"; do userdel -r "$user" > /dev/null 2>&1 || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# --- 1. The archive ----------------------------------------------------------------------------
tar -C "$work" -xzf "$dist/Tarnwood-linux-x86_64.tar.gz"
app="$work/Tarnwood"
for file in tarnwood Files/Tarnwood.cfg Files/Screenshots README.txt licences/SDL2.txt; do
  [[ -e "$app/$file" ]] || drive_fail "the archive has no Tarnwood/$file"
done
needed="$(readelf -d "$app/tarnwood" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')"
for lib in $needed; do
  case "$lib" in
    libc.so.6 | libm.so.6 | libdl.so.2 | libpthread.so.0 | librt.so.1 | ld-linux-x86-64.so.2) ;;
    *) drive_fail "the program needs $lib beyond glibc" ;;
  esac
done
# The oldest glibc it runs on, as README.md says: arc4random (2.36) comes from the program itself.
glibc="$(objdump -T "$app/tarnwood" | grep -o 'GLIBC_[0-9.]*' | sort -uV | tail -n1)"
[[ "$(printf '%s\n' "$glibc" GLIBC_2.35 | sort -V | tail -n1)" == GLIBC_2.35 ]] || drive_fail "the program needs $glibc"
for lib in libX11.so.6 libwayland-client.so.0 libpulse-simple.so.0 libpipewire-0.3.so.0 libasound.so.2; do
  grep -qaF "$lib" "$app/tarnwood" || drive_fail "SDL in the program does not load $lib at run time"
done
echo "ok: the archive's program needs $(echo $needed) ($glibc) and loads the display and sound libraries at run time"
bash "$here/e2e_test.sh" "$app/tarnwood" "$subreaper" "$check" "$app/Files" "$music"
E2E_ELSEWHERE=1 bash "$here/e2e_test.sh" "$app/tarnwood" "$subreaper" "$check" "$app/Files" "$music"
echo "ok: the archive's program end to end, in its folder and started from another ($((SECONDS - started)) s)"

# --- 2. The Debian package ---------------------------------------------------------------------
package="$(ls "$dist"/tarnwood_*_amd64.deb)"
[[ -f "$dist/lintian.txt" ]] && ! grep -q '^E: ' "$dist/lintian.txt" || drive_fail "lintian: $(cat "$dist/lintian.txt")"
dpkg --purge tarnwood > /dev/null 2>&1 || true
dpkg -i "$package" > "$work/dpkg.log" 2>&1 || drive_fail "dpkg -i: $(cat "$work/dpkg.log")"
for file in /usr/games/tarnwood /usr/share/games/tarnwood/Files/Tarnwood.cfg /usr/share/applications/tarnwood.desktop \
            /usr/share/icons/hicolor/256x256/apps/tarnwood.png /usr/share/doc/tarnwood/copyright; do
  [[ -e "$file" ]] || drive_fail "the installed package has no $file"
done
[[ "$("$check" size /usr/share/icons/hicolor/48x48/apps/tarnwood.png)" == "48 48" ]] || drive_fail "48 px icon"
cp /usr/share/games/tarnwood/Files/Tarnwood.cfg "$work/shipped.cfg"
touch "$work/installed"
sleep 1

for user in "${players[@]}"; do
  userdel -r "$user" > /dev/null 2>&1 || true
  useradd -m -s /bin/sh "$user"
done
W=1024 H=768
drive_start_x 1280 1024

# play USER LOG: starts the installed program as USER from its home, as the menu entry does.
play() {
  local home
  home="$(getent passwd "$1" | cut -d: -f6)"
  runuser -u "$1" -- env -i HOME="$home" USER="$1" PATH=/usr/local/bin:/usr/bin:/bin:/usr/games \
    DISPLAY="$DISPLAY" SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
    sh -c 'cd && exec tarnwood' > "$2" 2>&1 &
}
# The newest tarnwood process of USER (empty when none runs).
instance_of() { pgrep -n -u "$1" -x tarnwood || true; }
instance_started() { [[ -n "$(instance_of "$1")" && "$(instance_of "$1")" != "${2:-}" ]]; }
none_running() { [[ -z "$(instance_of "$1")" ]]; }
# quit USER: Escape on the main menu ends the game.
quit() {
  drive_key Escape
  drive_wait 10 none_running "$1" || drive_fail "$1: the game did not end on Escape"
}

user="${players[0]}"
home="$(getent passwd "$user" | cut -d: -f6)"
data="$home/.local/share/tarnwood/Files"
play "$user" "$work/first.log"
drive_wait 10 instance_started "$user" || drive_fail "$user: the game did not start; $(cat "$work/first.log")"
first="$(instance_of "$user")"
drive_ready "$check" "$data/Screenshots" "$work/main.png" "$first"
for x in 117 277 437 597 757; do
  "$check" button "$work/main.png" "$x" 668 150 30 || drive_fail "$user: main menu button at $x, 668"
done
[[ "$(stat -c %U "$data/Tarnwood.cfg")" == "$user" ]] || drive_fail "$user: no settings file of its own in $data"
grep -q '^PathMain = /usr/games/' "$data/Tarnwood.cfg" || drive_fail "$user: PathMain not written to $data/Tarnwood.cfg"
echo "ok: the installed game shows its menu; its settings and F12's screenshot are in $data"

drive_pointer_home "$W" "$H"
drive_click_at 512 683   # Optionen
drive_click_at 352 255   # Gameplay
drive_click_at 512 255   # Sprache
drive_shot "$check" "$data/Screenshots" "$work/language_de.png"
drive_click_at 672 295   # Englisch: restart
drive_wait 10 instance_started "$user" "$first" || drive_fail "$user: no new instance after the language change"
second="$(instance_of "$user")"
grep -q '^Language = English' "$data/Tarnwood.cfg" || drive_fail "$user: the settings file does not say English"
drive_ready "$check" "$data/Screenshots" "$work/language_en.png" "$second"
n="$("$check" diff "$work/language_de.png" "$work/language_en.png" 447 673 130 20)"
((n > 20)) || drive_fail "$user: the new instance does not show the English page ($n pixels differ)"
drive_key Escape
sleep 0.3
quit "$user"
echo "ok: the language change restarted the installed game in English with $data/Tarnwood.cfg"

user2="${players[1]}"
home2="$(getent passwd "$user2" | cut -d: -f6)"
play "$user2" "$work/second.log"
drive_wait 10 instance_started "$user2" || drive_fail "$user2: the game did not start; $(cat "$work/second.log")"
drive_ready "$check" "$home2/.local/share/tarnwood/Files/Screenshots" "$work/second_main.png" "$(instance_of "$user2")"
quit "$user2"
[[ "$(stat -c %U "$home2/.local/share/tarnwood/Files/Tarnwood.cfg")" == "$user2" ]] || drive_fail "$user2: no folder of its own"
grep -q '^Language = German' "$home2/.local/share/tarnwood/Files/Tarnwood.cfg" || drive_fail "$user2: not the shipped settings"
echo "ok: a second user gets a folder of its own"

written="$(find /usr/games /usr/share/games/tarnwood -newer "$work/installed" | head -n 5)"
[[ -z "$written" ]] || drive_fail "written under /usr: $written"
cmp -s "$work/shipped.cfg" /usr/share/games/tarnwood/Files/Tarnwood.cfg || drive_fail "the shipped settings file changed"
echo "ok: nothing written under /usr"

dpkg --purge tarnwood > "$work/dpkg.log" 2>&1 || drive_fail "dpkg --purge: $(cat "$work/dpkg.log")"
[[ ! -e /usr/games/tarnwood && ! -e /usr/share/games/tarnwood ]] || drive_fail "dpkg --purge left the game"
[[ -f "$data/Tarnwood.cfg" ]] || drive_fail "dpkg --purge took the player's settings"
echo "ok: dpkg --purge removed the game and left the players' folders ($((SECONDS - started)) s in all)"
