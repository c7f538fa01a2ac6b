#!/usr/bin/env bash
# The committed icons under packaging/icons are exactly what make-icons makes from data/.
# Usage: check_icons.sh MAKE_ICONS SOURCE_DIR
set -euo pipefail
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
"$1" "$2/data" "$out"
status=0
for size in 48 128 256; do
  name="brackenfold-intro-$size.png"
  cmp "$out/$name" "$2/packaging/icons/$name" || { echo "$name differs: run scripts/make-assets"; status=1; }
done
[ "$(ls "$out" | wc -l)" -eq 3 ] || { echo "make-icons wrote $(ls "$out")"; status=1; }
exit $status
