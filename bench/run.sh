#!/bin/sh
# Runs every benchmark program built in BUILD_DIR/bench, one after another.
# Usage: bench/run.sh BUILD_DIR [benchmark options...]
set -u
if [ $# -lt 1 ] || [ ! -d "$1/bench" ]; then
  echo "usage: $0 BUILD_DIR [benchmark options...] (BUILD_DIR/bench must exist)" >&2
  exit 2
fi
bench_dir=$1/bench
shift
status=0
found=0
for program in "$bench_dir"/*_bench; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  found=1
  echo "==== $(basename "$program")"
  "$program" "$@" || status=1
  echo
done
if [ "$found" -eq 0 ]; then
  echo "no *_bench programs in $bench_dir" >&2
  exit 1
fi
exit $status
