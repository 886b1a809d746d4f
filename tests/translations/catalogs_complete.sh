#!/usr/bin/env bash
# Every catalog translates every text of the sources and nothing the sources no longer have:
# lupdate is run over the sources into a copy of each catalog, which must come out with nothing
# unfinished, vanished or obsolete.
#   catalogs_complete.sh <lupdate> <sources...> -ts <catalogs...>
set -euo pipefail
lupdate="$1"; shift
sources=()
while [ "$1" != -ts ]; do sources+=("$1"); shift; done
shift
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
for ts in "$@"; do
  copy="$work/$(basename "$ts")"
  cp "$ts" "$copy"
  "$lupdate" -silent -locations none "${sources[@]}" -ts "$copy"
  # The message's source on the line before its translation names what is missing.
  missing="$(grep -B 3 -E 'type="(unfinished|vanished|obsolete)"' "$copy" | grep -o '<source>.*</source>' || true)"
  if [ -n "$missing" ]; then
    echo "$(basename "$ts") lacks or still has (run: ninja translations-update, then translate):"
    echo "$missing"
    failed=1
  fi
done
exit "$failed"
