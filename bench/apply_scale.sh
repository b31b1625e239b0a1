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
#
# Beside each apply runs a reference: the file system's part of the same
# work alone (python3, in the same folders): for loose files, each written under
# a scratch name created exclusively, flushed and moved over its target; for
# packed files, each appended to one file and flushed. Flushes dominate
# these applies, and a virtual disk's flushes can grow dearer with the
# number of files or vary from minute to minute: the reference's own ratio
# tells that growth from the program's. AXP_SCALE_ROUNDS=N (default 1) runs
# every measurement N times, interleaved, and takes the medians.
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
rounds=${AXP_SCALE_ROUNDS:-1}

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

# The reference for an apply of KIND to DIR/game: the targets' names and sizes
# come from DIR/new, written as the apply writes them.
reference() {
  python3 - "$1" "$2" <<'PYTHON'
import os, sys
kind, dir = sys.argv[1], sys.argv[2]
def flush_write(fd, data):
    os.write(fd, data)
    os.fdatasync(fd)
if kind == "changed-in-pack":
    files = [os.path.join(dir, folder, name) for folder in sorted(os.listdir(dir)) if folder.startswith("files-new-")
             for name in sorted(os.listdir(os.path.join(dir, folder)))]
    # A changed file of the same size is written over its block: the pack's
    # blocks are on the disk before the edits.
    fd = os.open(os.path.join(dir, "reference.bin"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    flush_write(fd, bytes(sum(os.path.getsize(f) for f in files)))
    os.lseek(fd, 0, os.SEEK_SET)
    for f in files:
        flush_write(fd, open(f, "rb").read())
    os.close(fd)
else:
    source, target = os.path.join(dir, "new", "many"), os.path.join(dir, "game", "many")
    os.makedirs(target, exist_ok=True)
    for name in sorted(os.listdir(source)):
        scratch = os.path.join(target, ".~" + name + ".work")
        fd = os.open(scratch, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o644)
        flush_write(fd, open(os.path.join(source, name), "rb").read())
        os.close(fd)
        os.rename(scratch, os.path.join(target, name))
PYTHON
}

# Wall seconds are what the targets judge; the processor's seconds (user
# and system) show the program's own growth apart from waits for the disk,
# which a machine busy with other work stretches.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
declare -A seconds processor references
TIMEFORMAT='%R %U %S'
for kind in new-loose changed-loose changed-in-pack; do
  for count in "${counts[@]}"; do
    dir=$work/$kind-$count
    make_versions "$dir" "$kind" "$count"
    "$axp" make "$dir/old" "$dir/new" --old-version 1.0 --new-version 2.0 -o "$dir/patch.pkg" > /dev/null 2>&1
    walls=() cpus=() reference_walls=()
    for ((round = 0; round < rounds; round++)); do
      rm -rf "$dir/game" && cp -r "$dir/old" "$dir/game" && sync
      read -r wall _ _ < <({ time reference "$kind" "$dir" > /dev/null 2>&1; } 2>&1)
      reference_walls+=("$wall")
      rm -rf "$dir/game" && cp -r "$dir/old" "$dir/game" && sync
      read -r wall user system < <({ time "$axp" apply "$dir/game" "$dir/patch.pkg" > /dev/null 2>&1; } 2>&1)
      walls+=("$(awk -v w="$wall" -v p="$pause" 'BEGIN { print w - p }')")
      cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')")
    done
    seconds[$kind-$count]=$(median "${walls[@]}")
    processor[$kind-$count]=$(median "${cpus[@]}")
    references[$kind-$count]=$(median "${reference_walls[@]}")
    printf '%-16s %6d files: %8.2f s (processor %.2f s; reference %.2f s)\n' "$kind" "$count" \
      "${seconds[$kind-$count]}" "${processor[$kind-$count]}" "${references[$kind-$count]}"
    rm -rf "$dir"
  done
done
if [ ${#counts[@]} -ge 2 ]; then
  last=${counts[-1]}
  before=${counts[-2]}
  for kind in new-loose changed-loose changed-in-pack; do
    growth=$(ratio "${seconds[$kind-$last]}" "${seconds[$kind-$before]}")
    verdict=$(awk -v r="$growth" -v t="$target_ratio" 'BEGIN { print (r <= t ? "within" : "ABOVE") }')
    printf '%-16s %d / %d: %.2f (%s the target %.1f; processor %.2f; reference %.2f)\n' "$kind" "$last" "$before" \
      "$growth" "$verdict" "$target_ratio" "$(ratio "${processor[$kind-$last]}" "${processor[$kind-$before]}")" \
      "$(ratio "${references[$kind-$last]}" "${references[$kind-$before]}")"
  done
fi
