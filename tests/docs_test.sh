#!/usr/bin/env bash
# The player's README: short enough to read (at most 250 lines, "Install"
# within its first 60), and every file and section it links to there, so
# that the text moved out of it is still found. The same for the documents
# it sends readers on to.
# Usage: docs_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

[ "$(wc -l <README.md)" -le 250 ] || fail "README.md has $(wc -l <README.md) lines, more than 250"
install=$(grep -n -m1 '^## Install' README.md | cut -d: -f1)
[ -n "$install" ] && [ "$install" -le 60 ] || fail "README.md's \"Install\" is not within its first 60 lines"

# A heading's anchor, as GitHub makes it: lower case, no punctuation but
# hyphens and underscores, spaces as hyphens.
anchors() { sed -n 's/^#\{1,6\} //p' "$1" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'; }

for doc in README.md docs/design.md docs/development.md bench/README.md; do
  while IFS= read -r link; do
    target=${link%%#*} anchor=""
    [[ $link == *#* ]] && anchor=${link#*#}
    file=$(dirname "$doc")/$target
    [ -e "$file" ] || { fail "$doc links to $link, which is not there"; continue; }
    [ -z "$anchor" ] || anchors "$file" | grep -qx -- "$anchor" ||
      fail "$doc links to $link: $target has no such section"
  done < <(grep -oE '\]\([^)#:][^):]*\)' "$doc" | sed 's/^](//; s/)$//')
done
[ "$failed" -eq 0 ] && echo "PASS: the README's size and every document's links"
exit "$failed"
