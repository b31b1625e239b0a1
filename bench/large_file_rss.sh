#!/bin/bash
# Peak memory of `axp make` and `axp apply` with one large file, against the
# bound the README states (the coders' own state sets it, not the file):
# a new version adds a file of AXP_LARGE_FILE_MB megabytes (default 3072,
# 3 GiB) beside a small one; the package is made, applied to a copy of the
# old version, and the result compared with the new version's file.
# Needs about three times the file's size of free disk; cleans up after.
# Usage: bench/large_file_rss.sh BUILD_DIR
set -eu
if [ $# -lt 1 ] || [ ! -x "$1/tools/axp" ]; then
  echo "usage: $0 BUILD_DIR (BUILD_DIR/tools/axp must exist)" >&2
  exit 2
fi
axp=$(cd "$1/tools" && pwd)/axp
megabytes=${AXP_LARGE_FILE_MB:-3072}
# The bounds of the README, in KiB: two packing workers with their 16 MiB
# dictionaries and the entries held in memory for make; one decoder, its
# pieces, the buffers of entries held whole and those unpacked ahead for
# apply.
make_bound_kib=$((464 * 1024))
apply_bound_kib=$((160 * 1024))

work=$(mktemp -d "${TMPDIR:-/tmp}/axp-large-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new"
echo "small" > "$work/old/readme.txt"
cp "$work/old/readme.txt" "$work/new/readme.txt"
# Random megabytes repeated with a changing counter: the coder finds long
# matches, so packing stays quick while every piece of the file differs.
head -c 1048576 /dev/urandom > "$work/block"
for ((i = 0; i < megabytes; i++)); do
  printf '%08d' "$i"
  tail -c +9 "$work/block"
done > "$work/new/big.bin"
rm "$work/block"

# Peak resident set of a command, in KiB (GNU time's %M).
peak() {
  local log=$work/time.log
  /usr/bin/time -f '%M %e' -o "$log" "$@" > /dev/null
  cat "$log"
}

read -r make_kib make_seconds < <(peak "$axp" make "$work/old" "$work/new" --old-version 1.0 --new-version 2.0 \
  -o "$work/patch.pkg")
cp -r "$work/old" "$work/game"
read -r apply_kib apply_seconds < <(peak "$axp" apply "$work/game" "$work/patch.pkg")
same=no
cmp -s "$work/new/big.bin" "$work/game/big.bin" && same=yes

verdict() { if [ "$1" -le "$2" ]; then echo "under"; else echo "OVER"; fi; }
echo "file: ${megabytes} MB; package: $(($(stat -c %s "$work/patch.pkg") / 1048576)) MiB; applied file identical: $same"
echo "make:  peak RSS $((make_kib / 1024)) MiB in ${make_seconds} s, bound $((make_bound_kib / 1024)) MiB: $(verdict "$make_kib" "$make_bound_kib")"
echo "apply: peak RSS $((apply_kib / 1024)) MiB in ${apply_seconds} s, bound $((apply_bound_kib / 1024)) MiB: $(verdict "$apply_kib" "$apply_bound_kib")"
[ "$same" = yes ] && [ "$make_kib" -le "$make_bound_kib" ] && [ "$apply_kib" -le "$apply_bound_kib" ]
