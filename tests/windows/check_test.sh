#!/usr/bin/env bash
# brennel-check.exe under wine, on a copy of the demo mod: the state and the
# exit status in each state (an activation stopped by a file in the way
# among them, with the way out in the disk's spelling), the JSON report, a
# finding of the Windows rules (a name in another case), a folder without lists, a list's escape
# sequence kept from the terminal, a usage error in one line, and that the
# folder's names and times are the same before and after every check.
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

# As shipped, the whole mod.
check --json "$folder"
[ "$status" -eq 0 ] || fail "demo as shipped: status $status: $out"
[ "$(field 'd["state"], d["activate"]["from_now"]["renames"], d["activate"]["round_trip"]')" = \
  "inactive 5 True" ] || fail "demo as shipped: $out"

# Without its sound file, the walk would stop at pair 5.
sound=$mod/Data/Sounds/tavrik_cloak.wav.off
mv "$sound" "$work/sound"
check --json "$folder"
[ "$status" -eq 1 ] || fail "demo without its sound: status $status"
[ "$(field 'd["state"], d["missing_pairs"]')" = "incomplete [5]" ] || fail "demo without its sound: $out"
[ "$(field 'd["activate"]["from_now"]["text"]')" = "Data/Sounds/tavrik_cloak.wav.off is missing" ] ||
  fail "demo's activation without its sound: $out"
mv "$work/sound" "$sound"

# An activation stopped at pair 3 by a file that was there, done by hand as
# the walk does it.
mv "$mod/Data/TavrikCloak.esp.off" "$mod/Data/TavrikCloak.esp"
mv "$mod/Data/Textures/tavrik_cloak.dds.off" "$mod/Data/Textures/tavrik_cloak.dds"
echo "another mod's" >"$mod/Data/Meshes/tavrik_cloak.nif"
check --json "$folder"
[ "$status" -eq 1 ] || fail "stopped: status $status"
[ "$(field 'd["state"], d["both_pairs"]')" = "both-names [3]" ] || fail "stopped: $out"
# Whose the file is, the player says: both named, neither moved.
[[ "$(field 'd["next"]')" == "To keep one version of each file: both copies are there, 'Data\Meshes\tavrik_cloak.nif.off' and 'Data\Meshes\tavrik_cloak.nif';"* ]] ||
  fail "stopped, the way out: $out"
[ "$(field 'len(d["moves"])')" = 0 ] || fail "stopped, no move: $out"
rm "$mod/Data/Meshes/tavrik_cloak.nif"
mv "$mod/Data/TavrikCloak.esp" "$mod/Data/TavrikCloak.esp.off"
mv "$mod/Data/Textures/tavrik_cloak.dds" "$mod/Data/Textures/tavrik_cloak.dds.off"

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

# Elsewhere: a folder without lists, then a list holding an escape sequence.
other=$work/other
mkdir "$other"
other_folder="Z:$(printf '%s' "$other" | tr / '\\')"
mod_before=$mod
mod=$other
check "$other_folder"
[ "$status" -eq 2 ] || fail "no lists: status $status"
grep -q '^State: no-lists' <<<"$out" || fail "no lists: $out"
printf '\033]0;title\007a.esp,b.esp\r\n' >"$other/Tavrik.mla"
check "$other_folder"
[[ "$out" != *$'\033'* && "$out" == *"<U+001B>]0;title<U+0007>"* ]] || fail "escapes: $out"
mod=$mod_before

check --no-such-option
[ "$status" -eq 2 ] || fail "usage error: status $status"
[ "$out" = "brennel-check: unknown option '--no-such-option' (usage: brennel-check [--all | --moves | --json] [FOLDER])" ] ||
  fail "usage error: $out"
echo "PASS: brennel-check.exe under wine"
