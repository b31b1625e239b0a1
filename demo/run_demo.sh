#!/usr/bin/env bash
# The demo: a release made and installed the way it happens for real, on a
# generated sample game.
#
#   demo/run_demo.sh BUILD_DIR [WINDOWS_BUILD_DIR]
#
# Generates versions 1.0.0.0 and 1.0.1.0 of a sample installation,
# catalogues both, builds the patch package and the patch program with the
# axp tool, copies the old version to a player's folder, runs the patch
# program there unattended and checks that the player now has the new
# version: every pack sound, "axp verify" content, the same catalogue, the
# same loose files.
# Prints a short report and exits 1 when any step or check fails.
#
# With a Windows build the player is on Windows: the Linux axp builds the
# Windows patch program, the game is installed under C:\Games\QELT of a
# fresh Wine prefix and named in its registry, and the patch program runs
# under Wine and finds the game through the registry. The same checks
# follow, and a package made by axp.exe under Wine from the same two
# versions must bring a copy of the old one to the new with the Linux axp.
#
# Everything is written under BUILD_DIR/demo (or $DEMO_WORK when set), or
# WINDOWS_BUILD_DIR/demo.

set -u -o pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [WINDOWS_BUILD_DIR]" >&2
  exit 2
fi

HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "$1" && pwd) || exit 2
AXP=$BUILD/tools/axp
WINDOWS=
if [ $# -eq 2 ]; then
  WINDOWS=$(cd "$2" && pwd) || exit 2
fi
# The patch program built for shipping, which "axp exe" copies.
if [ -n "$WINDOWS" ]; then
  STUB=$WINDOWS/dist/qelt-patch-stub.exe
  WORK=${DEMO_WORK:-$WINDOWS/demo}
else
  STUB=$BUILD/tools/qelt-patch-stub
  WORK=${DEMO_WORK:-$BUILD/demo}
fi

OLD_VERSION=1.0.0.0
NEW_VERSION=1.0.1.0
GAME=$WORK/game
OLD=$GAME/old
NEW=$GAME/new
RELEASE=$WORK/release
PACKAGE=$RELEASE/qelt-$NEW_VERSION.xzip
PROGRAM_NAME=qelt-patch-$NEW_VERSION${WINDOWS:+.exe}
PROGRAM=$RELEASE/$PROGRAM_NAME
# The player's machine: the game, the downloaded patch program, the
# temporary folder and an empty Wine prefix, so that no registry entry of
# this machine points the patch program elsewhere.
PLAYER_HOME=$WORK/player
PLAYER=$PLAYER_HOME/QELT
DOWNLOADS=$PLAYER_HOME/Downloads
PLAYER_TMP=$PLAYER_HOME/tmp
PLAYER_WINE=$PLAYER_HOME/wine
if [ -n "$WINDOWS" ]; then
  PLAYER=$PLAYER_WINE/drive_c/Games/QELT
fi
# The patch program files the package it used under this name.
FILED_PACKAGE=$PLAYER/Patch/QELT-$OLD_VERSION-$NEW_VERSION.xzip
COPY=$WORK/player-copy
LOGS=$WORK/logs
PATCH_TIMEOUT=300

for tool in "$AXP" "$STUB" ${WINDOWS:+"$WINDOWS/dist/axp.exe"}; do
  if [ ! -f "$tool" ]; then
    echo "demo: $tool is missing; build first (make build, make windows)" >&2
    exit 2
  fi
done

# Windows programs run in the player's Wine prefix under the players' code
# page, GBK, which the sample's names are written in.
WINE_RUN=$HERE/../cmake/wine_run.sh
on_windows() { LC_ALL=zh_CN.GBK "$WINE_RUN" "$PLAYER_WINE" "$@"; }
if [ -n "$WINDOWS" ]; then
  trap 'WINEPREFIX=$PLAYER_WINE wineserver -k 2>/dev/null' EXIT
fi

now() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e9 }'; }
# Shows names as the terminal shows text: the sample's names are GBK bytes.
readable() { iconv -f GBK -t UTF-8 -c 2>/dev/null || cat; }
progress() { echo "==> $*"; }

STEP_NAMES=()
STEP_TIMES=()
record_time() {
  STEP_NAMES+=("$1")
  STEP_TIMES+=("$(seconds "$2")")
}

# run_step LABEL LOG COMMAND...: runs one step of the release, output to LOG;
# a failed step ends the demo, since every later step needs its result.
run_step() {
  local label=$1 log=$2 start rc
  shift 2
  start=$(now)
  "$@" >"$log" 2>&1
  rc=$?
  record_time "$label" $(($(now) - start))
  if [ $rc -ne 0 ]; then
    echo "demo: FAIL: $label (exit $rc); the end of $log:" >&2
    tail -n 20 "$log" | readable | sed 's/^/    /' >&2
    exit 1
  fi
}

CHECK_NAMES=()
CHECK_RESULTS=()
FAILED=0
check() {
  CHECK_NAMES+=("$1")
  if [ "$2" = pass ]; then
    CHECK_RESULTS+=(PASS)
  else
    CHECK_RESULTS+=(FAIL)
    FAILED=1
  fi
}

# The rows of a catalogue without its first line, in byte order: a scan
# lists files in the order the file system gives them, and a pack lists
# its files in the order they were put in.
catalogue_rows() { tail -n +2 "$1" | LC_ALL=C sort; }

DEMO_START=$(now)
rm -rf "$WORK"
mkdir -p "$WORK" "$LOGS" "$RELEASE" || exit 1

progress "generating the sample game: $OLD_VERSION and $NEW_VERSION"
run_step "generate sample game" "$LOGS/generate.log" \
  python3 "$HERE/make_sample_game.py" --axp "$AXP" "$GAME"
sed 's/^/    /' "$LOGS/generate.log"

progress "cataloguing $OLD_VERSION"
run_step "catalogue $OLD_VERSION" "$LOGS/catalog-old.log" "$AXP" catalog "$OLD" "$OLD_VERSION"
sed 's/^/    /' "$LOGS/catalog-old.log"
progress "cataloguing $NEW_VERSION"
run_step "catalogue $NEW_VERSION" "$LOGS/catalog-new.log" "$AXP" catalog "$NEW" "$NEW_VERSION"
sed 's/^/    /' "$LOGS/catalog-new.log"

progress "building the patch package"
run_step "make package" "$LOGS/make.log" "$AXP" make "$OLD" "$NEW" -o "$PACKAGE"
grep -E '^(commands|entries|package):' "$LOGS/make.log" | sed 's/^/    /'

# The version range comes from the package, which recorded it.
progress "building the patch program $PROGRAM_NAME"
run_step "make patch program" "$LOGS/exe.log" \
  bash -c 'cd "$1" && "$2" exe "$3" -o "$4" --stub "$5"' exe "$RELEASE" "$AXP" "$PACKAGE" "$PROGRAM_NAME" "$STUB"
sed 's/^/    /' "$LOGS/exe.log"

if [ -n "$WINDOWS" ]; then
  progress "making the player's Wine prefix"
  run_step "make Wine prefix" "$LOGS/prefix.log" on_windows cmd /c exit
  mkdir -p "$(dirname "$PLAYER")" || exit 1
fi
progress "installing $OLD_VERSION in the player's folder"
run_step "copy to player" "$LOGS/copy.log" \
  bash -c 'mkdir -p "$3" "$4" "$5" && cp -a "$1" "$2" && cp "$6" "$3/"' copy \
  "$OLD" "$PLAYER" "$DOWNLOADS" "$PLAYER_TMP" "$PLAYER_WINE" "$PROGRAM"

if [ -n "$WINDOWS" ]; then
  progress "naming C:\\Games\\QELT in the registry of the player's Wine prefix"
  run_step "registry" "$LOGS/registry.log" on_windows reg add 'HKLM\Software\Brindell\QELT' /v InstallPath \
    /d 'C:\Games\QELT' /reg:32 /f
  progress "running $PROGRAM_NAME --unattended under Wine"
  start=$(now)
  (cd "$DOWNLOADS" && LC_ALL=zh_CN.GBK timeout "$PATCH_TIMEOUT" "$WINE_RUN" "$PLAYER_WINE" "./$PROGRAM_NAME" \
    --unattended </dev/null >"$LOGS/patch.log" 2>&1)
  patch_rc=$?
else
  progress "running ./$PROGRAM_NAME --unattended --install-dir $PLAYER"
  start=$(now)
  (cd "$DOWNLOADS" &&
    TMPDIR=$PLAYER_TMP/ WINEPREFIX=$PLAYER_WINE timeout "$PATCH_TIMEOUT" \
      "./$PROGRAM_NAME" --unattended --install-dir "$PLAYER" </dev/null >"$LOGS/patch.log" 2>&1)
  patch_rc=$?
fi
record_time "patch the player's game" $(($(now) - start))
status_lines=$(wc -l <"$LOGS/patch.log")
if [ "$status_lines" -le 8 ]; then
  sed 's/^/    | /' "$LOGS/patch.log"
else
  head -n 4 "$LOGS/patch.log" | sed 's/^/    | /'
  echo "    | ... ($((status_lines - 7)) more lines in $LOGS/patch.log)"
  tail -n 3 "$LOGS/patch.log" | sed 's/^/    | /'
fi
echo "    exit status $patch_rc"

progress "checking the player's game against $NEW_VERSION"
start=$(now)

# The patch program succeeded: it told "更新结束" and ended with status 0.
# (Windows ends its lines with CR LF.)
if [ "$patch_rc" -eq 0 ] && tr -d '\r' <"$LOGS/patch.log" | grep -qx '更新结束'; then
  check "patch program told \"更新结束\" and ended with status 0" pass
else
  check "patch program told \"更新结束\" and ended with status 0 (status $patch_rc)" fail
fi

# The package is sealed: its checksum trailer matches.
if [ "$("$AXP" package verify "$PACKAGE" 2>&1)" = ok ]; then
  check "package checksum trailer verifies" pass
else
  check "package checksum trailer verifies" fail
fi

# Every pack of the player's game is sound.
packs_total=0
packs_bad=0
while IFS= read -r -d '' pack; do
  packs_total=$((packs_total + 1))
  if ! "$AXP" pack check "$pack" >"$LOGS/pack-check.log" 2>&1 || [ "$(cat "$LOGS/pack-check.log")" != ok ]; then
    packs_bad=$((packs_bad + 1))
    echo "    pack check failed: ${pack#"$PLAYER"/}: $(head -n 3 "$LOGS/pack-check.log")" | readable
  fi
done < <(find "$PLAYER" -type f -iname '*.axp' -print0)
new_packs=$(find "$NEW" -type f -iname '*.axp' | wc -l)
if [ "$packs_total" -eq "$new_packs" ] && [ "$packs_bad" -eq 0 ]; then
  check "axp pack check: all $packs_total packs ok" pass
else
  check "axp pack check: $packs_bad of $packs_total packs bad ($new_packs expected)" fail
fi

# Every file the player's catalogue lists is there as listed.
if "$AXP" verify "$PLAYER" >"$LOGS/verify.log" 2>&1; then
  check "axp verify: the player's game is $NEW_VERSION as catalogued" pass
else
  check "axp verify: the player's game is $NEW_VERSION as catalogued" fail
  head -n 10 "$LOGS/verify.log" | readable | sed 's/^/      /'
fi

# The installed catalogue is the new version's.
if cmp -s "$PLAYER/(version)" "$NEW/(version)"; then
  check "player's \"(version)\" equals $NEW_VERSION's catalogue" pass
else
  check "player's \"(version)\" equals $NEW_VERSION's catalogue (first line: $(head -n 1 "$PLAYER/(version)" 2>/dev/null))" fail
fi

# The used package was filed in the game's Patch folder, unchanged.
if cmp -s "$FILED_PACKAGE" "$PACKAGE"; then
  check "package filed as Patch/$(basename "$FILED_PACKAGE")" pass
else
  check "package filed as Patch/$(basename "$FILED_PACKAGE")" fail
fi

# What is really on the player's disk: a fresh catalogue of a copy of the
# game (without the filed package, which no version holds) must list what
# the new version's catalogue lists, the files inside packs included.
rm -rf "$COPY"
cp -a "$PLAYER" "$COPY" && rm -f "$COPY/Patch/$(basename "$FILED_PACKAGE")"
if "$AXP" catalog "$COPY" "$NEW_VERSION" >"$LOGS/catalog-copy.log" 2>&1 &&
  [ "$(head -n 1 "$COPY/(version)")" = "$(head -n 1 "$NEW/(version)")" ] &&
  cmp -s <(catalogue_rows "$COPY/(version)") <(catalogue_rows "$NEW/(version)"); then
  check "fresh catalogue of the player's game equals $NEW_VERSION's" pass
else
  check "fresh catalogue of the player's game equals $NEW_VERSION's" fail
  echo "    rows that differ (< player, > $NEW_VERSION):"
  diff <(catalogue_rows "$COPY/(version)" 2>/dev/null) <(catalogue_rows "$NEW/(version)") | grep '^[<>]' |
    head -n 10 | readable | sed 's/^/      /'
fi

# Every loose file is the new version's, and no other is there.
if diff -r -x '*.axp' -x '(version)' "$NEW" "$COPY" >"$LOGS/loose-diff.log" 2>&1; then
  check "loose files equal $NEW_VERSION's (diff -r)" pass
else
  check "loose files equal $NEW_VERSION's (diff -r)" fail
  head -n 10 "$LOGS/loose-diff.log" | readable | sed 's/^/      /'
fi
record_time "checks" $(($(now) - start))

# Packages cross platforms: one made by axp.exe under Wine brings a copy of
# the old version to the new one with the Linux axp.
if [ -n "$WINDOWS" ]; then
  progress "building a package with axp.exe under Wine, applying it with the Linux axp"
  CROSS=$WORK/cross
  rm -rf "$CROSS" && cp -a "$OLD" "$CROSS"
  start=$(now)
  if on_windows "$WINDOWS/dist/axp.exe" make "Z:$OLD" "Z:$NEW" -o "Z:$RELEASE/windows-made.xzip" \
    >"$LOGS/make-windows.log" 2>&1 &&
    "$AXP" apply "$CROSS" "$RELEASE/windows-made.xzip" >"$LOGS/apply-cross.log" 2>&1 &&
    "$AXP" verify "$CROSS" >"$LOGS/verify-cross.log" 2>&1; then
    check "a package made by axp.exe under Wine brings the old version to $NEW_VERSION with the Linux axp" pass
  else
    check "a package made by axp.exe under Wine brings the old version to $NEW_VERSION with the Linux axp" fail
    tail -n 5 "$LOGS/make-windows.log" "$LOGS/apply-cross.log" "$LOGS/verify-cross.log" 2>/dev/null |
      readable | sed 's/^/      /'
  fi
  record_time "package across platforms" $(($(now) - start))
fi

# The report.
size_of() { du -sb "$1" 2>/dev/null | cut -f1; }
megabytes() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
# Rows of a catalogue: all, loose, packed.
catalogue_counts() {
  awk -F'|' 'NR > 1 { if ($4 == "") loose++; else packed++ }
             END { printf "%d files (%d loose, %d in packs)", loose + packed, loose, packed }' "$1"
}

echo
echo "== demo report =="
echo "sizes:"
printf '  %-22s %s\n' "old $OLD_VERSION" "$(megabytes "$(size_of "$OLD")")"
printf '  %-22s %s\n' "new $NEW_VERSION" "$(megabytes "$(size_of "$NEW")")"
printf '  %-22s %s (%s bytes)\n' "package" "$(megabytes "$(size_of "$PACKAGE")")" "$(size_of "$PACKAGE")"
printf '  %-22s %s (%s bytes)\n' "patch program stub" "$(megabytes "$(size_of "$STUB")")" "$(size_of "$STUB")"
printf '  %-22s %s (%s bytes)\n' "patch program" "$(megabytes "$(size_of "$PROGRAM")")" "$(size_of "$PROGRAM")"
echo "counts:"
printf '  %-22s %s\n' "old $OLD_VERSION" "$(catalogue_counts "$OLD/(version)")"
printf '  %-22s %s\n' "new $NEW_VERSION" "$(catalogue_counts "$NEW/(version)")"
if "$AXP" package commands --raw "$PACKAGE" >"$LOGS/commands.log" 2>&1; then
  # Lines "OP|PACK|NAME": OP 0 adds or replaces, 1 deletes; a loose name
  # ending in .axp is a whole pack.
  awk -F'|' '
    { kind = ($2 != "") ? "in packs" : (tolower($3) ~ /\.axp$/ ? "whole packs" : "loose")
      if ($1 == "0") add[kind]++; else if ($1 == "1") del[kind]++; else other++; total++ }
    END {
      printf "  %-22s %d\n", "commands", total
      n = split("loose,in packs,whole packs", kinds, ",")
      for (i = 1; i <= n; i++)
        printf "    %-20s %d add, %d delete\n", kinds[i], add[kinds[i]], del[kinds[i]]
      if (other) printf "    %-20s %d\n", "other", other
    }' "$LOGS/commands.log"
else
  printf '  %-22s %s\n' "commands" "not listed: axp package commands failed: $(head -n 1 "$LOGS/commands.log")"
fi
echo "times:"
for i in "${!STEP_NAMES[@]}"; do
  printf '  %-26s %6s s\n' "${STEP_NAMES[$i]}" "${STEP_TIMES[$i]}"
done
printf '  %-26s %6s s\n' "total" "$(seconds $(($(now) - DEMO_START)))"
echo "checks:"
for i in "${!CHECK_NAMES[@]}"; do
  echo "  ${CHECK_RESULTS[$i]}  ${CHECK_NAMES[$i]}"
done
echo "work folder: $WORK"
if [ "$FAILED" -ne 0 ]; then
  echo "demo: FAIL"
  exit 1
fi
echo "demo: PASS"
