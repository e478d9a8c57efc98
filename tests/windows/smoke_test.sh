#!/usr/bin/env bash
# Smoke test of the real Windows program under wine and Xvfb: the window is
# found by its caption, "Activate" renames files in a scratch folder, the
# missing-file box titled "Brennel" closes with Return, closing the window
# ends the program with status 0, a refused rename is reported before the
# program ends with status 1, a box shows a NUL visibly and a 2 MB path
# shortened on the screen, Ctrl+C copies a long path exactly, and the
# layout scales from 96 to 144 DPI.
# Usage: smoke_test.sh PATH/TO/Brennel.exe PATH/TO/layout_probe.exe
# (with the wine session started)
set -Eeuo pipefail
# No step ends the test without saying which.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND (status $?)"' ERR
exe=$(realpath "$1")
probe=$(realpath "$2")
work=$(mktemp -d)
xvfb="" app=""
# Wine's desktop process belongs to the display it first started on: end
# every wine process of the prefix before and after this test's display.
end_wine() { wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; }
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  end_wine  # the next program starts at the new DPI
}
cleanup() {
  set +e  # clean up everything, whatever fails
  [ -n "$app" ] && kill "$app" 2>/dev/null
  set_dpi 96
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

# Waits up to 60 s for `condition` (a command) to hold: a bound no busy
# machine reaches, not a measure of speed.
wait_for() {
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}
window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
shown() { [ -n "$(window_named "$1")" ]; }
gone() { ! shown "$1"; }
ended() { ! kill -0 "$app" 2>/dev/null; }
opened_or_ended() { shown "Tavrik Brennel" || ended; }

# Clicks a button of the launcher window at 96 DPI. The buttons stand in
# the bottom-left of the window: client area 75 pixels high, "Activate" at
# y 8-33, "Deactivate" at y 40-65, both at x 8-73; the frame adds a few
# pixels around it.
click_button() {
  local window height
  window=$(window_named "Tavrik Brennel")
  height=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p') ||
    fail "the launcher window went away before a click on $1"
  case $1 in
    Activate) xdotool mousemove --window "$window" 44 $((height - 58)) click 1 ;;
    Deactivate) xdotool mousemove --window "$window" 44 $((height - 26)) click 1 ;;
  esac
}

# Closes the launcher window with Alt+F4, after a click on its empty right
# part gives it the keyboard.
close_window() {
  local window height
  window=$(window_named "Tavrik Brennel")
  height=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p') ||
    fail "the launcher window went away before it was closed"
  xdotool mousemove --window "$window" 200 $((height - 20)) click 1
  xdotool key alt+F4
}

start_program() {
  # The last program's window may still be on the display a moment after
  # it ended: the window found must be this program's.
  wait_for gone "Tavrik Brennel" || fail "the last program's window is still open"
  (cd "$work/game" && exec wine "$exe" >"$work/wine.log" 2>&1) &
  app=$!
  wait_for opened_or_ended || true
  shown "Tavrik Brennel" && return 0
  # What there is to see, for whoever reads a failed run.
  echo "wine $(ended && echo ended || echo 'still runs'); its output:"
  tail -20 "$work/wine.log"
  echo "windows on the display:"
  xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | head -20 || true
  fail "no window captioned 'Tavrik Brennel'"
}

# Waits for the program to end and checks its exit status (not in a
# subshell: only this shell can wait for it).
expect_exit_status() {
  wait_for ended || fail "the program did not end"
  local status=0
  wait "$app" || status=$?
  app=""
  [ "$status" = "$1" ] || fail "$2 (status $status)"
}

end_wine
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wait_for test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"

mkdir -p "$work/game/Data"
echo one >"$work/game/Data/a.esp"
echo two >"$work/game/Data/b.esp"
for list in Tavrik.mla Tavrik.mld; do
  printf '%s\r\n' 'Data\a.esp,Data\a.esp.off' 'Data\b.esp,Data\b.esp.off' >"$work/game/$list"
done

echo "== Activate renames, a second Activate reports the missing file, Deactivate by keyboard"
start_program
click_button Activate
wait_for test -f "$work/game/Data/b.esp.off" || fail "Activate renamed nothing"
[ -f "$work/game/Data/a.esp.off" ] && [ ! -e "$work/game/Data/a.esp" ] || fail "pair 1 not renamed"
click_button Activate
wait_for shown Brennel || fail "no missing-file box titled 'Brennel'"
xdotool key Return
wait_for gone Brennel || fail "Return did not close the missing-file box"
[ -f "$work/game/Data/a.esp.off" ] || fail "the second Activate moved a file"
# The focus is back on "Activate"; Tab moves it to "Deactivate", Return
# presses it.
xdotool key Tab Return
wait_for test -f "$work/game/Data/b.esp" || fail "Tab, Return did not deactivate"
[ "$(cat "$work/game/Data/a.esp")" = one ] || fail "pair 1 not renamed back"
close_window
expect_exit_status 0 "closing the window must end the program with status 0"

echo "== A refused rename is reported, then the program ends"
mv "$work/game/Data/a.esp" "$work/game/Data/a.esp.off"
echo new >"$work/game/Data/a.esp"  # the target of the first deactivation
start_program
click_button Deactivate
wait_for shown Brennel || fail "no error report titled 'Brennel'"
xdotool key Return
expect_exit_status 1 "after the error report the status must be 1"
[ "$(cat "$work/game/Data/a.esp")" = new ] || fail "the existing target was replaced"
[ -f "$work/game/Data/a.esp.off" ] || fail "the refused source moved"

echo "== Boxes show a NUL as a symbol, a long path whole and a 2 MB path by its ends, on the screen"
# The box is seen on the display before wine has given it its text and
# laid it out, on a busy machine: each check waits until it holds.
box_text() { wine "$probe" box 2>/dev/null | tr -d '\r' || true; }
box_text_is() { [ "$(box_text)" = "$1" ]; }
# The box lies in the work area, and its text in lines no wider than half
# of it (a word longer than a line wraps inside the box).
box_fits() {
  wine "$probe" box-layout 2>/dev/null | tr -d '\r' | awk '
    $1 == "work" { right = $4; bottom = $5 }
    $1 == "box" { inside = $2 >= 0 && $3 >= 0 && $4 <= right && $5 <= bottom }
    $1 == "Static" && $2 > 0 { narrow = $6 - $4 <= right / 2 }
    END { exit !(inside && narrow) }'
}
# A mod's path as lists spell it: long, without spaces.
long_path='Data\Mods\Tavrik_Landscape_Overhaul_v2.3.1\Textures\Landscape\Mountains'
long_path+='\Snow_Covered_Peaks_Northern_Range\High_Resolution_4K\Normal_Maps'
long_path+='\tavrik_mountain_rock_cliff_face_01_normal_map_4k.dds'
printf 'Data\\x\0y.esp,z\r\n' >"$work/game/Tavrik.mla"
{
  printf 'z,Data\\huge-start\\'
  head -c 2097152 /dev/zero | tr '\0' x
  printf '\\huge-end.dds\r\n'
} >"$work/game/Tavrik.mld"
start_program
click_button Activate
wait_for shown Brennel || fail "no missing-file box for the path with a NUL"
wait_for box_text_is $'Data\\x\u2400y.esp is missing' || fail "box text: $(box_text)"
xdotool key Return
wait_for gone Brennel || fail "Return did not close the box"
close_window
expect_exit_status 0 "closing the window must end the program with status 0"

printf '%s,z\r\n' "$long_path" >"$work/game/Tavrik.mla"
start_program
click_button Activate
wait_for shown Brennel || fail "no missing-file box for the long path"
wait_for box_text_is "$long_path is missing" || fail "long path box text: $(box_text)"
wait_for box_fits || fail "the long path's box does not fit the screen"
# Ctrl+C copies the box as Windows does: title, text and buttons between
# dashed lines; wine hands it to the X clipboard.
echo -n before | xclip -selection clipboard
xdotool key ctrl+c
copied() { timeout 10 xclip -o -selection clipboard 2>/dev/null | tr -d '\r'; }
message_copied() { [ "$(copied | awk '/^-+$/ { rule++; next } rule == 2')" = "$1" ]; }
wait_for message_copied "$long_path is missing" || fail "Ctrl+C copied: $(copied)"
[ "$(copied | sed -n 2p)" = Brennel ] || fail "Ctrl+C copied no title: $(copied)"
xdotool key Return
wait_for gone Brennel || fail "Return did not close the box"
click_button Deactivate
wait_for shown Brennel || fail "no missing-file box for the 2 MB path"
huge_path_shown() {
  text=$(box_text)
  [[ $text == 'Data\huge-start\xxx'*$'\u2026'*'xxx\huge-end.dds is missing' ]]
}
wait_for huge_path_shown || fail "box text: ${text:0:200}..."
[[ $text != *$'\n'* ]] || fail "the box's text holds line breaks"
wait_for box_fits || fail "the 2 MB path's box does not fit the screen"
xdotool key Return
wait_for gone Brennel || fail "Return did not close the box"
close_window
expect_exit_status 0 "closing the window must end the program with status 0"

echo "== The layout in twips scales with the DPI"
check_layout() {
  set_dpi "$1"
  start_program
  local layout
  layout=$(wine "$probe" 2>/dev/null | tr -d '\r')
  [ "$layout" = "$2" ] || fail "layout at $1 DPI:"$'\n'"$layout"$'\n'"want:"$'\n'"$2"
  close_window
  expect_exit_status 0 "closing the window must end the program with status 0"
}
check_layout 96 "client 229x75
Activate id 3 at 8,8 size 65x25 tabstop focused
Deactivate id 4 at 8,40 size 65x25 tabstop"
check_layout 144 "client 344x113
Activate id 3 at 12,12 size 98x38 tabstop focused
Deactivate id 4 at 12,60 size 98x38 tabstop"

echo "smoke test passed"
