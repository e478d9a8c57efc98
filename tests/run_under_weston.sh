#!/usr/bin/env bash
# Runs a command as a Wayland client of its own headless Weston compositor,
# with Qt on its Wayland platform. The compositor ends with the command.
# Usage: run_under_weston.sh COMMAND [ARGUMENT...]
set -euo pipefail

# Wayland puts its socket in XDG_RUNTIME_DIR, which must be private (0700).
runtime=$(mktemp -d -t brennel-weston.XXXXXX)
chmod 700 "$runtime"
weston_pid=""
cleanup() {
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=brennel-test QT_QPA_PLATFORM=wayland
unset DISPLAY
weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 \
  --log="$runtime/weston.log" &
weston_pid=$!

# Wait for the socket, not for a fixed time: up to 60 s on a busy machine.
for _ in $(seq 600); do
  [ -S "$runtime/$WAYLAND_DISPLAY" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -S "$runtime/$WAYLAND_DISPLAY" ]; then
  echo "Weston did not open its socket:" >&2
  cat "$runtime/weston.log" >&2 || true
  exit 1
fi

status=0
"$@" || status=$?
exit "$status"
