#!/usr/bin/env bash
# Runs every fuzz target for a while, from the seeds the seed program writes,
# the corpus earlier runs kept and the committed regression inputs, and
# fails when any target finds a crash, a leak, a time-out or an
# out-of-memory. The corpus and any findings stay under BUILD/fuzz-run.
#
# Usage: fuzz/run_fuzzers.sh BUILD SECONDS_PER_TARGET
set -uo pipefail

build=${1:?usage: $0 BUILD SECONDS}
seconds=${2:?usage: $0 BUILD SECONDS}
here=$(cd "$(dirname "$0")" && pwd)
work=$build/fuzz-run

# Longest input per target: room for the formats' interesting parts, short
# enough that each run stays fast.
declare -A max_len=(
  [command_list]=4096 [lzma_entry]=8192 [package]=16384 [package_reader]=16384 [pack_read]=16384
  [pack_list]=16384 [catalogue]=8192 [container]=16384 [version_key]=256
)
targets=(command_list lzma_entry package package_reader pack_read pack_list catalogue container version_key)

rm -rf "$work/seeds"
"$build/fuzz/axp_fuzz_seeds" "$work/seeds" || { echo "fuzz: cannot write the seeds" >&2; exit 1; }
# The targets write scratch packs and packages for every input; a memory
# file system keeps that cheap.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

failed=()
total_runs=0
for target in "${targets[@]}"; do
  corpus=$work/corpus/$target
  artifacts=$work/artifacts/$target/
  log=$work/$target.log
  mkdir -p "$corpus" "$artifacts"
  inputs=("$corpus" "$work/seeds/$target")
  if [ -d "$here/regressions/$target" ]; then inputs+=("$here/regressions/$target"); fi
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len="${max_len[$target]}" -rss_limit_mb=2048 \
    -timeout=30 -print_final_stats=1 -artifact_prefix="$artifacts" "${inputs[@]}" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  total_runs=$((total_runs + ${runs:-0}))
  echo "fuzz: $target: ${runs:-0} runs, exit $status"
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    tail -n 40 "$log"
  fi
done
# CPU time (user and system) of every program run above; `times` reports it
# for this shell only, so it is not called inside a command substitution.
times >"$work/times"
cpu=$(awk 'NR == 2 { gsub(/[ms]/, " "); printf "%.0f", $1 * 60 + $2 + $3 * 60 + $4 }' "$work/times")
echo "fuzz: $total_runs runs in all, $cpu s of CPU"

if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzz: findings in: ${failed[*]} (inputs under $work/artifacts)" >&2
  exit 1
fi
