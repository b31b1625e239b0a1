#!/usr/bin/env bash
# The patch program's window, driven the way a player drives it: in an X
# server of its own (Xvfb), under Wine in a fresh prefix with a Chinese
# locale, with xdotool moving the mouse and window_probe reading the
# dialogs. Screenshots of every state land in BUILD/gui-test/screenshots.
#
#   tests/gui/window_test.sh BUILD [RUN...]
#
# RUN is one of (all three when none is given):
#   success  notes shown, Start pressed, the bar moves, the success box,
#            "确定"; the installation is then the new version
#   range    the installed version is below the package's range: the
#            folder picker is walked to the game, the status line turns
#            red; Browse, the picker again, Cancel: still red
#   client   a window of the game client's class is open: Start brings the
#            Retry/Cancel prompt, Retry brings it again, Cancel fails red
# Prints PASS or FAIL per check; exits 1 when a check failed.
set -u -o pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD [success|range|client]..." >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd) || exit 2
shift
RUNS=("$@")
[ ${#RUNS[@]} -gt 0 ] || RUNS=(success range client)

HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$BUILD/gui-test
SHOTS=$WORK/screenshots
AXP=$BUILD/dist/axp.exe
STUB=$BUILD/dist/qelt-patch.exe
PROBE=$BUILD/tests/window_probe.exe
TIMEOUT=${GUI_TIMEOUT:-30}
OLD_VERSION=1.0.0.0
NEW_VERSION=1.0.1.0

# The texts a player is to see.
MAIN_TITLE="升级补丁"
BOX_TITLE='"《溪云归棹》" '
READY_STATUS="准备开始升级"
NOTES_HEAD="《溪云归棹》1.0.1.0 更新说明"
SUCCESS_TEXT="《溪云归棹》成功更新到$NEW_VERSION!"
RANGE_TEXT="该补丁支持${OLD_VERSION}以上的版本,本地版本为0.9.0.0"
NO_GAME_TEXT="无法找到《溪云归棹》安装目录!"
CLIENT_TEXT="游戏客户端正在运行,在进行下面的操作前请关闭客户端!"

for file in "$AXP" "$STUB" "$PROBE"; do
  if [ ! -f "$file" ]; then
    echo "window_test: $file is missing; build first (make windows)" >&2
    exit 2
  fi
done
for tool in Xvfb xdotool import convert wine wineserver python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "window_test: $tool is missing (make gui-deps)" >&2
    exit 2
  fi
done

export WINEPREFIX=$WORK/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

XVFB_PID=""
cleanup() {
  wineserver -k 2>/dev/null
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

FAILED=0
pass() { echo "PASS: $1"; }
fail() {
  echo "FAIL: $1" >&2
  FAILED=1
}
check() { # DESCRIPTION COMMAND...
  local description=$1
  shift
  if "$@"; then pass "$description"; else fail "$description"; fi
}
# Polls COMMAND until it succeeds, for at most TIMEOUT seconds.
wait_for() { # COMMAND...
  local deadline=$((SECONDS + TIMEOUT))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}
die() {
  echo "window_test: $*" >&2
  exit 1
}

# --- Reading the screen -----------------------------------------------

# The probe writes CR LF line ends, as Windows programs do.
dump() { wine "$PROBE" dump 2>/dev/null | tr -d '\r' >"$WORK/dump.txt"; }
# The control lines of the dialogs whose title line holds TITLE.
controls_of() { awk -v title="$1" '/^dialog /{ inside = index($0, title) > 0 } /^control /{ if (inside) print }' "$WORK/dump.txt"; }
# The first control of the dialog with id ID: "ID CLASS STATE X Y W H TEXT".
control() { controls_of "$1" | awk -v id="$2" '$2 == id { sub(/^control /, ""); print; exit }'; }
control_text() { control "$1" "$2" | sed -e 's/^[^"]*"//' -e 's/" *\(position [0-9]*\)\{0,1\}$//'; }
control_state() { control "$1" "$2" | awk '{ print $3 }'; }
dialog_line() { grep '^dialog ' "$WORK/dump.txt" | awk -v title="$1" 'index($0, title) > 0 { print; exit }'; }
dialog_shown() { dump && [ -n "$(dialog_line "$1")" ]; }
# The title of the folder picker on the screen: the dialog with a tree.
picker_title() {
  dump && awk '/^dialog /{ title = $0; sub(/^dialog [^ ]* "/, "", title); sub(/" [-0-9 ]*$/, "", title) }
               /^control [-0-9]* SysTreeView32 /{ print title; exit }' "$WORK/dump.txt"
}
picker_shown() { [ -n "$(picker_title)" ]; }
state_is() { dump && [ "$(control_state "$1" "$2")" = "$3" ]; }
status_is() { dump && [ "$(control_text "$MAIN_TITLE" -1)" = "$1" ]; }
box_says() { dump && [ "$(control_text "$BOX_TITLE" 65535)" = "$1" ] || [ "$(control_text "$BOX_TITLE" -1)" = "$1" ]; }

click() { # TITLE ID: the middle of the control, with the mouse
  local x y w h
  read -r x y w h < <(control "$1" "$2" | awk '{ print $4, $5, $6, $7 }')
  [ -n "${h:-}" ] || return 1
  xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
}

shot() { import -window root "$SHOTS/$1.png"; }

# Dialog 129's controls in template order: id x y width height, in dialog
# units.
TEMPLATE="1 223 150 75 14
2 305 150 50 14
-1 7 4 348 9
1000 7 17 348 12
1001 7 48 348 96
-1 7 35 348 8
-1 7 153 139 11
1002 164 150 50 14"
# The main dialog's controls lie where the template puts them: the
# progress bar and the notes box give the dialog units' size in pixels,
# and every control is then within 2 pixels of its place and size.
laid_out_as_template() {
  controls_of "$MAIN_TITLE" | awk -v template="$TEMPLATE" '
    BEGIN { n = split(template, rows, "\n") }
    { ++count; id[count] = $2; x[count] = $5; y[count] = $6; w[count] = $7; h[count] = $8 }
    END {
      if (count != n) { print "controls: " count " for " n; exit 1 }
      kx = w[4] / 348; ky = (y[5] - y[4]) / 31; ox = x[4] - 7 * kx; oy = y[4] - 17 * ky
      for (i = 1; i <= n; ++i) {
        split(rows[i], t, " ")
        d = sqrt((x[i] - ox - t[2] * kx)^2) + sqrt((y[i] - oy - t[3] * ky)^2)
        if (id[i] != t[1] || d > 3 || sqrt((w[i] - t[4] * kx)^2) > 2 || sqrt((h[i] - t[5] * ky)^2) > 2) {
          print "control " i " (id " id[i] ") is not where the template puts it"; bad = 1
        }
      }
      exit bad
    }'
}

# Pixels of the status line drawn in red in screenshot NAME.
red_status_pixels() {
  local x y w h
  read -r x y w h < <(control "$MAIN_TITLE" -1 | awk '{ print $4, $5, $6, $7 }')
  convert "$SHOTS/$1.png" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- |
    awk -F'[(),]' 'NR > 1 && $3 >= 180 && $4 <= 90 && $5 <= 90 { n++ } END { print n + 0 }'
}
status_red() { [ "$(red_status_pixels "$1")" -gt 20 ]; }
status_not_red() { [ "$(red_status_pixels "$1")" -eq 0 ]; }

# --- The player's machine ---------------------------------------------

start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  wait_for test -s "$WORK/display" || die "the X server did not start (see $WORK/xvfb.log)"
  export DISPLAY=":$(head -n 1 "$WORK/display")"
}

make_prefix() {
  wine wineboot --init >"$WORK/wineboot.log" 2>&1 || die "wineboot failed (see $WORK/wineboot.log)"
  # No window manager runs: Wine draws the windows' frames and captions.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # The symbols of the caption's buttons (Debian's fonts-wine).
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  # One server for the whole run, so that each program starts at once.
  wineserver -p
}

make_release() {
  python3 "$HERE/make_game.py" "$WORK/game" 40 256 || die "the sample game was not written"
  (cd "$WORK" &&
    wine "$AXP" catalog game/old "$OLD_VERSION" &&
    wine "$AXP" catalog game/new "$NEW_VERSION" &&
    wine "$AXP" make game/old game/new -o release.xzip &&
    wine "$AXP" exe --stub "$STUB" --from "$OLD_VERSION" --to "$NEW_VERSION" release.xzip -o patch.exe) \
    >"$WORK/release.log" 2>&1 || die "the release was not built (see $WORK/release.log)"
}

PATCH_PID=""
# The old version for run NAME, with the patch program beside it: its own
# folder is where it finds the game.
install_old() {
  mkdir -p "$WORK/$1"
  cp -a "$WORK/game/old" "$WORK/$1/QELT" && cp "$WORK/patch.exe" "$WORK/$1/QELT/"
}
# Starts the patch program of run NAME as a player does: no arguments.
start_patch() {
  (cd "$WORK/$1/QELT" && exec wine patch.exe) >"$WORK/$1.log" 2>&1 &
  PATCH_PID=$!
}
patch_ended() { ! kill -0 "$PATCH_PID" 2>/dev/null; }
# Waits for the patch program to end; its exit status.
patch_status() {
  wait_for patch_ended || return 99
  wait "$PATCH_PID"
}
# The installation of run NAME holds the files of VERSION (old or new).
installation_is() { diff -r -x patch.exe "$WORK/game/$2" "$WORK/$1/QELT" >"$WORK/$1.diff"; }

# --- The runs -----------------------------------------------------------

run_success() {
  install_old success
  start_patch success
  check "success: the dialog shows and Start becomes enabled" wait_for state_is "$MAIN_TITLE" 1 enabled
  shot ready
  check "success: the controls lie as dialog 129 places them" laid_out_as_template
  check "success: the caption names the range" \
    dialog_shown "《溪云归棹》升级补丁[$OLD_VERSION-$NEW_VERSION]"
  check "success: status \"$READY_STATUS\", not red" \
    eval 'status_is "$READY_STATUS" && status_not_red ready'
  check "success: the notes box shows Update.txt" \
    eval '[[ "$(control_text "$MAIN_TITLE" 1001)" == "$NOTES_HEAD"* ]]'
  check "success: Cancel and Browse usable before Start" \
    eval '[ "$(control_state "$MAIN_TITLE" 2)" = enabled ] && [ "$(control_state "$MAIN_TITLE" 1002)" = enabled ]'
  click "$MAIN_TITLE" 1 || fail "success: Start could not be clicked"
  # The bar is caught on its way when the screen is read often enough.
  local deadline=$((SECONDS + TIMEOUT)) position="" caught=""
  while [ $SECONDS -lt $deadline ] && ! dialog_shown "$BOX_TITLE"; do
    position=$(control "$MAIN_TITLE" 1000 | awk '{ print $NF }')
    if [ -z "$caught" ] && [ "${position:-0}" -gt 0 ] && [ "$position" -lt 100 ]; then
      shot applying
      caught=$position
      [ "$(control_state "$MAIN_TITLE" 2)" = disabled ] && [ "$(control_state "$MAIN_TITLE" 1002)" = disabled ] ||
        fail "success: Cancel and Browse locked while applying"
    fi
  done
  if [ -n "$caught" ]; then pass "success: the bar moved while applying ($caught %)"; else
    echo "note: the update was too quick to catch the bar on its way"; fi
  check "success: the success box says \"$SUCCESS_TEXT\"" wait_for box_says "$SUCCESS_TEXT"
  shot success
  check "success: the bar is full behind the box" \
    eval '[ "$(control "$MAIN_TITLE" 1000 | awk "{ print \$NF }")" = 100 ]'
  click "$BOX_TITLE" 1 || click "$BOX_TITLE" 2 || fail "success: the box's OK could not be clicked"
  check "success: the box closes and the button reads \"确定\"" \
    wait_for eval '! dialog_shown "$BOX_TITLE" && [ "$(control_text "$MAIN_TITLE" 2)" = "确定" ]'
  check "success: Start and Browse stay disabled after the update" \
    eval '[ "$(control_state "$MAIN_TITLE" 1)" = disabled ] && [ "$(control_state "$MAIN_TITLE" 1002)" = disabled ]'
  shot done
  click "$MAIN_TITLE" 2 || fail "success: \"确定\" could not be clicked"
  check "success: \"确定\" ends the program with status 0" eval 'patch_status; [ $? -eq 0 ]'
  check "success: the installation is now $NEW_VERSION, file for file" installation_is success new
}

# The folder picker: the player walks down its tree with the keyboard,
# each folder opened with Right, its first child taken with Right again,
# then the wanted child chosen by typing its name; the picker shows the
# chosen folder's name in its edit box (14149). Wine's tree holds the root
# folder "/" under the desktop, where the picker starts.
picked() { dump && [ "$(control_text "$1" 14149)" = "$2" ]; }
# Waits up to two seconds for the picker's edit box to leave TEXT; a busy
# machine shows a key's effect late, and a key pressed again meanwhile
# would go a level too deep.
left_text() { # TITLE TEXT
  local deadline=$((SECONDS + 2))
  until dump && [ "$(control_text "$1" 14149)" != "$2" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
# Waits up to three seconds for the picker to show NAME.
shows_name() { # TITLE NAME
  local deadline=$((SECONDS + 3))
  until picked "$1" "$2"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
pick_in_tree() { # FOLDER
  local title part parts parent tries
  title=$(picker_title)
  IFS=/ read -ra parts <<<"$1"
  parts[0]=/
  for part in "${parts[@]}"; do
    if [ "$part" != / ]; then
      parent=$(control_text "$title" 14149)
      # The first Right may only open the folder; the next one takes its
      # first child.
      for tries in 1 2 3 4 5; do
        xdotool key Right
        left_text "$title" "$parent" && break
      done
      [ "$(control_text "$title" 14149)" != "$parent" ] || return 1
    fi
    # Typed names are searched only while the keys come close together:
    # after a pause the tree starts a new search.
    for tries in 1 2 3 4 5; do
      xdotool type --delay 30 "$part"
      shows_name "$title" "$part" && break
      sleep 1
    done
    picked "$title" "$part" || return 1
  done
  click "$title" 1
}

run_range() {
  install_old range
  local folder=$WORK/range/QELT
  # The installed version below the range: the program's own folder is
  # passed over and the folder picker asks.
  sed -i "1s/^$OLD_VERSION|/0.9.0.0|/" "$folder/(version)"
  start_patch range
  check "range: the folder picker asks" wait_for picker_shown || return
  shot picker
  check "range: the picker takes the game's folder" pick_in_tree "$folder"
  check "range: the status line says \"$RANGE_TEXT\"" wait_for status_is "$RANGE_TEXT"
  check "range: Start disabled, Cancel and Browse enabled" \
    eval '[ "$(control_state "$MAIN_TITLE" 1)" = disabled ] && [ "$(control_state "$MAIN_TITLE" 2)" = enabled ] &&
          [ "$(control_state "$MAIN_TITLE" 1002)" = enabled ]'
  shot range-failed
  check "range: the status line is red" status_red range-failed
  # Browse tries again, straight with the picker; giving up there fails
  # the attempt, and the status line stays red.
  click "$MAIN_TITLE" 1002 || fail "range: Browse could not be clicked"
  check "range: Browse brings the folder picker back" wait_for picker_shown
  click "$(picker_title)" 2 || fail "range: the picker's Cancel could not be clicked"
  check "range: no folder chosen: \"$NO_GAME_TEXT\"" wait_for status_is "$NO_GAME_TEXT"
  shot range-no-folder
  check "range: the status line stays red" status_red range-no-folder
  click "$MAIN_TITLE" 2 || fail "range: Cancel could not be clicked"
  check "range: Cancel ends the program" eval 'patch_status; [ $? -eq 0 ]'
  sed -i "1s/^0.9.0.0|/$OLD_VERSION|/" "$folder/(version)"
  check "range: no file of the installation was touched" installation_is range old
}

run_client() {
  wine "$PROBE" client >"$WORK/client.log" 2>&1 &
  local client_pid=$!
  wait_for wine "$PROBE" find-client || die "the stand-in client did not open"
  install_old client
  start_patch client
  check "client: Start becomes enabled" wait_for state_is "$MAIN_TITLE" 1 enabled
  click "$MAIN_TITLE" 1 || fail "client: Start could not be clicked"
  check "client: the prompt says \"$CLIENT_TEXT\"" wait_for box_says "$CLIENT_TEXT"
  check "client: the prompt offers Retry and Cancel" \
    eval '[ -n "$(control "$BOX_TITLE" 4)" ] && [ -n "$(control "$BOX_TITLE" 2)" ]'
  check "client: the dialog is locked behind the prompt" \
    eval '[ "$(control_state "$MAIN_TITLE" 1)" = disabled ] && [ "$(control_state "$MAIN_TITLE" 2)" = disabled ]'
  shot client-prompt
  local first
  first=$(dialog_line "$BOX_TITLE" | awk '{ print $2 }')
  click "$BOX_TITLE" 4 || fail "client: Retry could not be clicked"
  check "client: Retry with the client still open asks again" \
    wait_for eval 'dump && box=$(dialog_line "$BOX_TITLE") && [ -n "$box" ] && [ "$(echo "$box" | awk "{ print \$2 }")" != "$first" ]'
  click "$BOX_TITLE" 2 || fail "client: Cancel could not be clicked"
  check "client: Cancel fails the attempt with \"$CLIENT_TEXT\"" wait_for status_is "$CLIENT_TEXT"
  shot client-failed
  check "client: the status line is red" status_red client-failed
  click "$MAIN_TITLE" 2 || fail "client: the dialog's Cancel could not be clicked"
  check "client: Cancel ends the program" eval 'patch_status; [ $? -eq 0 ]'
  check "client: no file of the installation was touched" installation_is client old
  wine "$PROBE" close-client >/dev/null 2>&1
  wait "$client_pid" 2>/dev/null
}

# --- Main -----------------------------------------------------------------

rm -rf "$WORK"
mkdir -p "$SHOTS" || exit 1
start_display
make_prefix
make_release
for run in "${RUNS[@]}"; do
  started=$SECONDS
  case $run in
    success | range | client) "run_$run" ;;
    *) die "unknown run '$run'" ;;
  esac
  echo "run $run: $((SECONDS - started)) s"
  wineserver -k 2>/dev/null
  wineserver -p
done
echo "screenshots: $SHOTS"
exit $FAILED
