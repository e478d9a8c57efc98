#!/usr/bin/env bash
# Drives the real program on an X display (run it under xvfb-run) the way a
# user would: clicks "Activate" where it is on screen, answers the boxes with
# Return and closes the window. "options" starts it with Qt's options, which
# it must not honour; "copy" copies the missing-file box's text with Ctrl+C
# and with the mouse, and reads it back from the X clipboard and selection.
# "long-walk" runs a walk that the test holds (BRENNEL_GATE_LIBRARY, the
# preloaded gated_rename.cpp) and, while it runs, clicks "Deactivate", asks
# the window to close, uncovers it and pings it as a window manager does.
# Usage: window_end_to_end.sh BINARY activate|error|options|copy|long-walk
set -Eeuo pipefail
# No step ends the test without saying which.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND (status $?)" >&2' ERR

binary=$(realpath "$1")
scenario=$2
here=$(dirname "$(realpath "$0")")
folder=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$folder"
}
trap cleanup EXIT
fail() { echo "FAIL ($scenario): $*" >&2; exit 1; }

# The id of the visible window named exactly $1, waiting up to 60 s (a
# bound no busy machine reaches).
wait_for_window() {
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -1) || true
  [ -n "$id" ] || fail "no window \"$1\" appeared"
  echo "$id"
}

wait_until_gone() {
  for _ in $(seq 600); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null || return 0
    sleep 0.1
  done
  fail "window \"$1\" is still open"
}

# Sets $status to the program's exit status, waiting up to 60 s for it to end.
wait_for_exit() {
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the program is still running"
  status=0
  wait "$pid" || status=$?
  pid=""
}

click_activate() {
  local window=$1 X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # "Activate" is 65 x 25 at 8,8 in the window at 96 DPI: click its middle.
  xdotool mousemove --sync $((X + 40)) $((Y + 20)) click 1
}

click_deactivate() {
  local window=$1 X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # "Deactivate" is 65 x 25 at 8,40.
  xdotool mousemove --sync $((X + 40)) $((Y + 52)) click 1
}

# The walk over 10,000 pairs and a last one, "Data/last", whose rename waits
# for the gate: until the test removes it, the walk cannot end, and before
# that pair it renames one pair in 20 ms or more (200 s at the least).
long_walk() {
  local gate=$folder/gate log=$folder/renames cursor_before cursor_walking
  mkdir -p Data
  (cd Data && seq -f 'p%05g' 10000 | xargs touch && touch last d)
  { seq -f 'Data/p%05g' 10000 | sed 's/.*/&,&.on\r/'; printf 'Data/last,Data/last.on\r\n'; } >Tavrik.mla
  printf 'Data/d.off,Data/d\r\n' >Tavrik.mld
  : >"$gate"
  LD_PRELOAD=$BRENNEL_GATE_LIBRARY BRENNEL_TEST_GATE=$gate BRENNEL_TEST_RENAME_LOG=$log \
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 "$binary" &
  pid=$!
  window=$(wait_for_window "Tavrik Brennel")
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --sync $((X + 40)) $((Y + 20))
  cursor_before=$("$here/window_probe.py" cursor)
  click_activate "$window"
  for _ in $(seq 600); do
    [ -s "$log" ] && break
    sleep 0.1
  done
  [ -s "$log" ] || fail "the walk did not begin"

  # Sent while the walk runs; then the window must draw itself again, which
  # it does only after reading from the X server what came before.
  click_deactivate "$window"
  "$here/close_window.py" "$window"
  "$here/window_probe.py" repaint "$window" || fail "the window was not drawn again during the walk"
  "$here/window_probe.py" ping "$window" || fail "the window did not answer a ping during the walk"
  cursor_walking=$("$here/window_probe.py" cursor)
  [ "$cursor_walking" != "$cursor_before" ] ||
    fail "the pointer is '$cursor_walking' during the walk, as before it"
  # Neither the click nor the close has been taken, and the walk waits at
  # its last pair.
  xdotool search --onlyvisible --name '^Tavrik Brennel$' >/dev/null ||
    fail "the close request was taken during the walk"
  [ -e Data/d ] || fail "the click on Deactivate was taken during the walk"
  [ -e Data/last ] || fail "the walk passed its last pair before the test let it"

  rm "$gate"
  wait_for_exit
  [ "$status" -eq 0 ] || fail "exit status $status after the close, expected 0"
  # Every pair renamed once, in order; then the click's walk; then the close.
  [ "$(cat "$log")" = "$(seq -f 'p%05g' 10000; echo last; echo d)" ] ||
    fail "the renames were not each pair once and then Deactivate's: $(uniq -c "$log" | head)"
  [ ! -e Data/p00001 ] && [ -e Data/p10000.on ] && [ -e Data/last.on ] && [ -e Data/d.off ] ||
    fail "the files are not where the two walks put them"
  echo "PASS ($scenario)"
  exit 0
}

press_return_in() {
  xdotool windowfocus --sync "$1" key Return
}

# What the X clipboard ($1: clipboard) or selection ($1: primary) holds.
copied() {
  timeout 10 xclip -o -selection "$1" 2>/dev/null || true
}

cd "$folder"
mkdir Data
printf 'A' >Data/a.off
options=()
case $scenario in
  options)
    printf '* { min-width: 600px; min-height: 400px; }' >big.qss
    # Each would show: no window on this display, another caption, a bigger window.
    options=(-display :9999 -platform offscreen -qwindowtitle Other -stylesheet big.qss)
    ;&
  activate)
    printf 'Data/a.off,Data/a\r\nData/gone.off,Data/gone\r\n' >Tavrik.mla
    ;;
  error)
    printf 'B' >Data/a
    printf 'Data/a.off,Data/a\r\n' >Tavrik.mla
    ;;
  long-walk) long_walk ;;
  copy)
    # A mod's path as lists spell it: long, without spaces.
    long_path='Data\Mods\Tavrik_Landscape_Overhaul_v2.3.1\Textures\Landscape\Mountains'
    long_path+='\Snow_Covered_Peaks_Northern_Range\High_Resolution_4K\Normal_Maps'
    long_path+='\tavrik_mountain_rock_cliff_face_01_normal_map_4k.dds'
    printf '%s,x\r\n' "$long_path" >Tavrik.mla
    ;;
  *) fail "unknown scenario" ;;
esac

"$binary" "${options[@]}" &
pid=$!
window=$(wait_for_window "Tavrik Brennel")
click_activate "$window"
box=$(wait_for_window "Brennel")

case $scenario in
  options)
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "${WIDTH}x$HEIGHT" = 229x75 ] || fail "the window is ${WIDTH}x$HEIGHT: -stylesheet was honoured"
    press_return_in "$box"
    "$here/close_window.py" "$window"
    wait_for_exit
    # The environment still chooses Qt's platform.
    status=0
    QT_QPA_PLATFORM=no-such-platform timeout 20 "$binary" 2>err.txt || status=$?
    [ "$status" -eq 1 ] && grep -q no-such-platform err.txt || fail "QT_QPA_PLATFORM not read"
    ;;
  activate)
    [ -f Data/a ] && [ ! -e Data/a.off ] || fail "Activate did not rename Data/a.off"
    [ "$(cat Data/a)" = A ] || fail "Data/a does not hold the moved file"
    xprop -id "$window" _NET_WM_ICON | grep -q 'Icon' || fail "the window has no icon"
    press_return_in "$box"
    wait_until_gone "Brennel"
    kill -0 "$pid" || fail "the program ended after the missing-file box"
    "$here/close_window.py" "$window"
    wait_for_exit
    [ "$status" -eq 0 ] || fail "exit status $status after closing the window, expected 0"
    ;;
  copy)
    want="$long_path is missing"
    xdotool windowfocus --sync "$box" key ctrl+c
    got=$(copied clipboard)
    [ "$got" = "$want" ] || fail "Ctrl+C on the box copied '$got'"
    # A triple click on the text's first line selects all of it; X puts a
    # selection into the primary selection, and Ctrl+C copies it too.
    echo -n before | xclip -selection clipboard
    xdotool mousemove --window "$box" 60 20 click --repeat 3 --delay 80 1
    got=$(copied primary)
    [ "$got" = "$want" ] || fail "the selected text is '$got'"
    xdotool key ctrl+c
    got=$(copied clipboard)
    [ "$got" = "$want" ] || fail "Ctrl+C on the selection copied '$got'"
    press_return_in "$box"
    wait_until_gone "Brennel"
    "$here/close_window.py" "$window"
    wait_for_exit
    [ "$status" -eq 0 ] || fail "exit status $status after closing the window, expected 0"
    ;;
  error)
    press_return_in "$box"
    wait_for_exit
    [ "$status" -eq 1 ] || fail "exit status $status after the error report, expected 1"
    [ "$(cat Data/a.off)" = A ] && [ "$(cat Data/a)" = B ] || fail "files changed"
    ;;
esac
echo "PASS ($scenario)"
