# Says what a long command of tools/demo, tools/setup or tools/test is
# doing, so that a newcomer is never left without a line for more than
# 20 s. Sourced by them.

# Prints the lines of its input, and copies them to file descriptor 3 when
# that is open. After each 20 s without a line, prints what runs: the tests
# CTest has started and not finished, with how long each has run, or else
# the last line.
show_progress() {
  local line="" part status quiet=0 last="" name what copy=""
  local -A started=()
  { true >&3; } 2>/dev/null && copy=yes
  while :; do
    # (Written so that a caller's set -e takes neither the end nor a wait.)
    IFS= read -r -t 20 part && status=0 || status=$?
    line+=$part
    if [ "$status" -gt 128 ]; then  # 20 s without a whole line
      quiet=$((quiet + 20))
      what="last line: ${last:0:100}"
      if ((${#started[@]})); then
        what="running:"
        for name in "${!started[@]}"; do what+=" $name ($((SECONDS - started[$name])) s)"; done
      fi
      echo "   ... ${quiet} s without output; $what"
      continue
    fi
    [ "$status" -eq 0 ] || [ -n "$line" ] || break
    printf '%s\n' "$line"
    [ -z "$copy" ] || printf '%s\n' "$line" >&3
    if [[ $line =~ ^\ *Start\ +[0-9]+:\ (.+)$ ]]; then
      started[${BASH_REMATCH[1]}]=$SECONDS
    elif [[ $line =~ ^\ *[0-9]+/[0-9]+\ Test\ +#[0-9]+:\ ([^ ]+)\  ]]; then
      unset "started[${BASH_REMATCH[1]}]"
    fi
    last=$line quiet=0 line=""
    [ "$status" -eq 0 ] || break
  done
}

# Runs a command with its output (errors too) appended to the log $1, and
# prints instead, every 15 s, how long it has run and what the
# function $2 says of the log (last_line: the log's last line). On failure
# it prints the log's last 25 lines. Returns the command's status.
# Usage: run_quietly LOG DESCRIBE COMMAND...
run_quietly() {
  # 15 s, so that a line comes within 20 s also when the machine is busy.
  local log=$1 describe=$2 pid status=0 start=$SECONDS next=15
  shift 2
  "$@" </dev/null >>"$log" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    sleep 0.5
    if ((SECONDS - start >= next)); then
      echo "     ... $((SECONDS - start)) s: $("$describe" "$log")"
      next=$((next + 15))
    fi
  done
  wait "$pid" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "   It failed (status $status). The end of $log:"
    tail -n 25 "$log" | cut -c 1-200 | sed 's/^/   | /'
  fi
  return "$status"
}

last_line() {
  local line
  line=$(tail -n 1 "$1" | tr -d '\r')
  echo "${line:0:100}"
}
