# Shows a long command's output as it comes, and says what it is doing
# when it is silent: tools/demo and tools/test must not leave a newcomer
# without a line for 30 s. Sourced by both.

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
