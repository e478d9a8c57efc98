#!/usr/bin/env bash
# The desktop's launcher, installed with `cmake --install` into a scratch
# prefix, with a stand-in for the program that records the folder it was
# started in: it must start exactly in the list file's folder, whatever the
# folder's name, or start nothing and say why.
# Usage: brennel_open_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
work=$(cd "$work" && pwd -P)
cmake --install "$build" --prefix "$work/prefix" >/dev/null
launcher=$work/prefix/libexec/brennel/brennel-open
record=$work/started-in
cat >"$work/prefix/bin/brennel" <<EOF
#!/bin/sh
{ pwd -P; echo "\$#"; } >'$record'
EOF
chmod +x "$work/prefix/bin/brennel"

failed=0 count=0
fail() {
  printf 'FAIL: %s\n' "$1"
  failed=$((failed + 1))
}

# Runs the launcher in folder $1 with CDPATH pointing at decoys of every
# folder; it must start the program, without arguments, in folder $2.
starts_in() {
  local from=$1 expected=$2
  shift 2
  count=$((count + 1))
  rm -f "$record"
  if ! (cd "$from" && CDPATH=$work/decoy "$launcher" "$@") 2>"$work/stderr"; then
    fail "$(printf '%q ' "$@")did not start: $(cat "$work/stderr")"
  elif ! printf '%s\n0\n' "$expected" | cmp -s - "$record"; then
    fail "$(printf '%q ' "$@")started in $(printf '%q' "$(cat "$record")") instead of $(printf '%q' "$expected")"
  fi
}

# Runs the launcher in $work: it must fail, say why and start nothing.
refuses() {
  local status=0
  count=$((count + 1))
  rm -f "$record"
  (cd "$work" && CDPATH=$work/decoy "$launcher" "$@") 2>"$work/stderr" || status=$?
  if [ "$status" -eq 0 ] || [ ! -s "$work/stderr" ] || [ -e "$record" ]; then
    fail "$(printf '%q ' "$@")was not refused (status $status, $(cat "$work/stderr"))"
  fi
}

mod_in() {
  mkdir -p "$1" "$work/decoy/${1#"$work"/}"
  printf 'a,b\r\n' >"$1/${2:-Tavrik.mla}"
  printf 'a,b\r\n' >"$work/decoy/${1#"$work"/}/${2:-Tavrik.mla}"
}

mkdir -p "$work/elsewhere"
mod_in "$work/mod"  # the sibling that a lost newline would start in
for folder in $'mod\n' $'mod\n\n' $'mod\t' -mod - -- ' mod' 'a b  c' "it's \"quoted\"" \
  '$(touch pwned)' '`touch pwned`' '*' $'\xff\xfe caf\xe9'; do
  mod_in "$work/$folder"
  starts_in "$work/elsewhere" "$work/$folder" "$work/$folder/Tavrik.mla"
  starts_in "$work" "$work/$folder" "$folder/Tavrik.mla"
done
[ -z "$(find "$work" -name pwned)" ] || fail "a folder's name was run as a command"

mod_in "$work/other case" tavrik.MLD
starts_in "$work" "$work/other case" "other case/tavrik.MLD"
starts_in "$work/mod" "$work/mod" Tavrik.mla
# "..": the kernel's parent of the link's target, not the folder of the link.
mod_in "$work/deep"
mkdir -p "$work/deep/inner"
ln -s deep/inner "$work/link"
starts_in "$work" "$work/deep" link/../Tavrik.mla

mkdir -p "$work/folder/Tavrik.mla"
printf 'x' >"$work/mod/other.mla"
refuses
refuses ""
refuses mod/Tavrik.mla mod/Tavrik.mla
refuses mod
refuses "$work/mod"
refuses "$work/mod/"
refuses mod/Tavrik.mla/
refuses mod/Tavrik.mld
refuses gone/Tavrik.mla
refuses folder/Tavrik.mla
refuses mod/other.mla

echo "$((count - failed)) of $count launcher cases passed"
[ "$failed" -eq 0 ]
