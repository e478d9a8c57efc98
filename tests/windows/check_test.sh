#!/usr/bin/env bash
# brennel-check.exe under wine, on a copy of the demo mod: the state and the
# exit status in each state, the JSON report, a finding of the Windows
# rules (a name in another case), a usage error, and that the folder's
# names and times are the same before and after every check.
# Usage: check_test.sh PATH/TO/brennel-check.exe EXAMPLES-FOLDER (with the wine session started)
set -euo pipefail
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mod=$work/mod
cp -R "$2" "$mod"
folder="Z:$(printf '%s' "$mod" | tr / '\\')"
disk() { (cd "$mod" && find . -printf '%p %s %T@\n' | sort); }

# Runs the check with `arguments`; sets `out` and `status`.
check() {
  local before
  before=$(disk)
  status=0
  out=$(wine "$exe" "$@" 2>&1) || status=$?
  out=${out//$'\r'/}
  [ "$(disk)" = "$before" ] || fail "the check changed the folder"
}
field() { python3 -c "import json,sys; d=json.loads(sys.stdin.read()); print($1)" <<<"$out"; }

# As shipped, the demo names a sound that is not there.
check --json "$folder"
[ "$status" -eq 1 ] || fail "demo as shipped: status $status"
[ "$(field 'd["state"], d["disagreeing_pairs"]')" = "mixed [5]" ] || fail "demo: $out"
[ "$(field 'd["activate"]["from_now"]["text"]')" = "Data/Sounds/tavrik_cloak.wav.off is missing" ] ||
  fail "demo's activation: $out"

mkdir "$mod/Data/Sounds"
echo sound >"$mod/Data/Sounds/tavrik_cloak.wav.off"
check --json "$folder"
[ "$status" -eq 0 ] || fail "whole mod: status $status: $out"
[ "$(field 'd["state"], d["activate"]["from_now"]["renames"], d["activate"]["round_trip"]')" = \
  "inactive 5 True" ] || fail "whole mod: $out"

# Activated by hand: every .off file without its .off.
(cd "$mod" && find Data -name '*.off' | while IFS= read -r off; do mv "$off" "${off%.off}"; done)
check "$folder"
[ "$status" -eq 0 ] || fail "activated: status $status: $out"
grep -q '^State: active' <<<"$out" || fail "activated: $out"

# Windows finds names in any case; the check says where the list differs.
sed -i 's|^Data/TavrikCloak.esp.off,Data/TavrikCloak.esp|Data/TavrikCloak.esp.off,DATA/TavrikCloak.esp|' \
  "$mod/Tavrik.mla"
check --json "$folder"
[ "$(field '[f["kind"] for f in d["findings"]]')" = "['other-case']" ] || fail "other case: $out"

check --no-such-option
[ "$status" -eq 2 ] || fail "usage error: status $status"
grep -q "unknown option '--no-such-option'" <<<"$out" || fail "usage error: $out"
echo "PASS: brennel-check.exe under wine"
