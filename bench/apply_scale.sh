#!/bin/bash
# How `axp apply` grows with the number of files: for each count, a package
# that adds that many new loose files to one folder, one that changes that
# many loose files in one folder, and one that changes that many files in
# one pack; each applied to a fresh copy of the old version. A pack's hash
# table holds 32,768 names, so counts above 25,000 are shared evenly among
# as few packs as take them (50,000: two packs of 25,000). Prints the
# seconds of each apply (its fixed 0.5 s pause taken out) and, per kind, the
# ratio of the largest count's time to the one before it against its target
# (linear growth from 10,000 to 50,000 files gives 5; 5.5 leaves a margin).
# Usage: bench/apply_scale.sh BUILD_DIR [COUNT...]   (default 1000 10000 50000)
set -eu
if [ $# -lt 1 ] || [ ! -x "$1/tools/axp" ]; then
  echo "usage: $0 BUILD_DIR [COUNT...] (BUILD_DIR/tools/axp must exist)" >&2
  exit 2
fi
axp=$(cd "$1/tools" && pwd)/axp
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 10000 50000)
pause=0.5
most_per_pack=25000
target_ratio=5.5

work=$(mktemp -d "${TMPDIR:-/tmp}/axp-scale-XXXXXX")
trap 'rm -rf "$work"' EXIT

# COUNT small files named f00000.dat... in FOLDER, each holding TAG and its number.
write_files() {
  mkdir -p "$1"
  (cd "$1" && for ((i = 0; i < $2; i++)); do printf '%s %d\n' "$3" "$i" > "$(printf 'f%05d.dat' "$i")"; done)
}

# Builds old/ and new/ under DIR for KIND and COUNT.
make_versions() {
  local dir=$1 kind=$2 count=$3
  mkdir -p "$dir/old" "$dir/new"
  echo keep > "$dir/old/keep.txt"
  echo keep > "$dir/new/keep.txt"
  case $kind in
    new-loose) write_files "$dir/new/many" "$count" new ;;
    changed-loose)
      write_files "$dir/old/many" "$count" old
      write_files "$dir/new/many" "$count" new ;;
    changed-in-pack)
      local packs=$(((count + most_per_pack - 1) / most_per_pack)) pack
      for ((pack = 0; pack < packs; pack++)); do
        write_files "$dir/files-old-$pack" $((count / packs)) old
        write_files "$dir/files-new-$pack" $((count / packs)) new
        "$axp" pack build "$dir/old/data$pack.axp" "$dir/files-old-$pack" > /dev/null
        "$axp" pack build "$dir/new/data$pack.axp" "$dir/files-new-$pack" > /dev/null
      done ;;
  esac
}

# Wall seconds are what the targets judge; the processor's seconds (user
# and system) show the program's own growth apart from waits for the disk,
# which a machine busy with other work stretches.
declare -A seconds processor
TIMEFORMAT='%R %U %S'
for kind in new-loose changed-loose changed-in-pack; do
  for count in "${counts[@]}"; do
    dir=$work/$kind-$count
    make_versions "$dir" "$kind" "$count"
    "$axp" make "$dir/old" "$dir/new" --old-version 1.0 --new-version 2.0 -o "$dir/patch.pkg" > /dev/null 2>&1
    cp -r "$dir/old" "$dir/game"
    read -r wall user system < <({ time "$axp" apply "$dir/game" "$dir/patch.pkg" > /dev/null 2>&1; } 2>&1)
    seconds[$kind-$count]=$(awk -v w="$wall" -v p="$pause" 'BEGIN { print w - p }')
    processor[$kind-$count]=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
    printf '%-16s %6d files: %8.2f s (processor %.2f s)\n' "$kind" "$count" "${seconds[$kind-$count]}" \
      "${processor[$kind-$count]}"
    rm -rf "$dir"
  done
done
if [ ${#counts[@]} -ge 2 ]; then
  last=${counts[-1]}
  before=${counts[-2]}
  for kind in new-loose changed-loose changed-in-pack; do
    ratio=$(awk -v a="${seconds[$kind-$last]}" -v b="${seconds[$kind-$before]}" 'BEGIN { print a / b }')
    verdict=$(awk -v r="$ratio" -v t="$target_ratio" 'BEGIN { print (r <= t ? "within" : "ABOVE") }')
    cpu_ratio=$(awk -v a="${processor[$kind-$last]}" -v b="${processor[$kind-$before]}" 'BEGIN { print a / b }')
    printf '%-16s %d / %d: %.2f (%s the target %.1f; processor %.2f)\n' "$kind" "$last" "$before" "$ratio" \
      "$verdict" "$target_ratio" "$cpu_ratio"
  done
fi
