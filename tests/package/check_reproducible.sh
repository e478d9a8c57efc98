#!/usr/bin/env bash
# Builds the packages a second time, from a fresh clone of the last commit
# in another folder and at another time, and compares them byte for byte
# with those tools/package built in this checkout.
# Usage: check_reproducible.sh DIST_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "$1")
work=$(mktemp -d -t brennel-again.XXXXXX)
trap 'rm -rf "$work"' EXIT

if [ -n "$(git -C "$root" status --porcelain)" ]; then
  echo "note: the checkout has uncommitted changes; the clone builds the last commit"
fi
git clone --quiet --no-checkout "$root" "$work/brennel"
git -C "$work/brennel" checkout --quiet --detach "$(git -C "$root" rev-parse HEAD)"
echo "Building the packages again in $work/brennel (its lines marked 'again:')"
"$work/brennel/tools/package" 2>&1 | sed -u 's/^/  again: /' || {
  echo "FAIL: the second build"
  exit 1
}

failed=0
for package in brennel_1.00_amd64.deb Brennel-1.00-win64.zip Brennel-1.00-linux-x86_64.tar.gz; do
  echo "  $(sha256sum "$dist/$package")"
  echo "  $(sha256sum "$work/brennel/dist/$package")"
  if cmp "$dist/$package" "$work/brennel/dist/$package"; then
    echo "PASS: $package is byte-identical"
  else
    echo "FAIL: $package differs"
    failed=1
  fi
done
exit "$failed"
