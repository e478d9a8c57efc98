# Drives the Brennel window on an X display as a user would: finds it,
# clicks its buttons, answers its boxes and closes it. Sourced by tools/demo
# and by the test of the packages. Needs xdotool and python3.
window_driver_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Prints the id of the visible window named exactly $1, waiting up to 60 s;
# fails when none appears.
window_named() {
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
  [ -n "$id" ] && echo "$id"
}

# Waits up to 60 s for the window named $1 to go.
window_gone() {
  for _ in $(seq 600); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# Clicks the middle of a button of window $1 at 96 DPI: "Activate" is
# 65 x 25 at 8,8, "Deactivate" the same at 8,40.
click_button() {
  local X Y WIDTH HEIGHT SCREEN top=8
  [ "$2" = Deactivate ] && top=40
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --sync $((X + 40)) $((Y + top + 12)) click 1
}

# Presses Return in window $1, as the user answers a box.
press_return_in() { xdotool windowfocus --sync "$1" key Return; }

# Asks window $1 to close, as its close button would.
close_window() { python3 "$window_driver_root/tests/close_window.py" "$1"; }

# Saves what window $1 shows in the PNG file $2, with its frame and title
# bar when a window manager gave it one.
screenshot() { python3 "$window_driver_root/tools/screenshot.py" --framed "$1" "$2"; }

# Starts a window manager (blackbox) on the display, so that windows have
# the title bar a desktop gives them; sets $window_manager_pid. Waits up to
# 60 s until it manages the screen (it has said how many desktops it has):
# on a fresh machine it first builds the font cache.
start_window_manager() {
  blackbox >/dev/null 2>&1 &
  window_manager_pid=$!
  for _ in $(seq 600); do
    xdotool get_num_desktops >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Starts Xvfb at 96 DPI on a free display and exports DISPLAY; sets
# $xvfb_pid. Waits up to 60 s for the server to say its display number.
start_xvfb() {
  local number_file number
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 600); do [ -s "$number_file" ] && break; sleep 0.1; done
  number=$(head -1 "$number_file")
  rm -f "$number_file"
  [ -n "$number" ] && export DISPLAY=":$number"
}
