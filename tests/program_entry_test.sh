#!/usr/bin/env bash
# The program's command line and start without a window system: --help and
# --version answer without touching one; without a display the program
# says so in one line and exits with 1, before any list is read.
# Usage: program_entry_test.sh BINARY
set -uo pipefail
binary=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A list whose pair would be renamed if the window ever opened and walked.
printf 'a,b\r\n' >Tavrik.mla
printf 'A' >a
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# run ENVIRONMENT... -- ARGUMENTS...: sets $status, $out and $err.
run() {
  local environment=()
  while [ "$1" != -- ]; do environment+=("$1"); shift; done
  shift
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${environment[@]}" \
    timeout 30 "$binary" "$@" >out.txt 2>err.txt </dev/null || status=$?
  out=$(cat out.txt) err=$(cat err.txt)
}

# A platform that does not exist: reaching Qt's would end the program.
run QT_QPA_PLATFORM=no-such-platform -- --version
[ "$status:$out:$err" = "0:brennel 1.00:" ] || fail "--version: status $status, '$out', '$err'"
run QT_QPA_PLATFORM=no-such-platform -- Tavrik.mla --help --version
[ "$status" = 0 ] && [ -z "$err" ] && [[ $out == "usage: brennel [--help | --version]"* ]] &&
  [[ $out == *"--version  the version"* ]] || fail "--help: status $status, '$out', '$err'"

# No display at all, one that cannot be reached, no such platform: one line
# each, status 1, no abort, no advice to reinstall, nothing renamed.
for case in "no display" "DISPLAY=:9999" "QT_QPA_PLATFORM=no-such-platform"; do
  environment=()
  [ "$case" = "no display" ] || environment=("$case")
  run "${environment[@]}" -- -platform offscreen
  lines=$(wc -l <err.txt)
  if [ "$status" != 1 ] || [ "$lines" != 1 ] || [[ $err != "brennel: cannot show the window: "* ]] ||
    [[ $err == *einstall* ]] || [ -e b ]; then
    fail "$case: status $status, $lines lines: '$err'"
  else
    echo "PASS: $case: $err"
  fi
done
run --
[[ $err == *"DISPLAY and WAYLAND_DISPLAY are not set"* ]] || fail "the line does not say why: '$err'"
run QT_QPA_PLATFORM=no-such-platform --
[[ $err == *no-such-platform* ]] || fail "the line does not name the platform: '$err'"
[ "$failed" = 0 ] && echo "PASS: --help, --version and no window system"
exit "$failed"
