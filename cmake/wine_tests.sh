#!/bin/sh
# Runs the tests of a Windows build folder under Wine:
#   wine_tests.sh BUILD [CTEST ARGUMENTS...]
# One persistent Wine server serves the whole run, so a test program starts
# in a fraction of a second instead of bringing up Wine on its own; it is
# stopped at the end whatever the outcome, and with it every Wine process of
# the run. The programs run under a Chinese locale, whose ANSI code page
# (936, GBK) is the one of the players' systems, when the machine has it.
set -eu
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$build/wine"
if locale -a 2>/dev/null | grep -qix 'zh_CN.gbk'; then
  export LC_ALL=zh_CN.GBK
fi
# Makes the prefix now, once, rather than inside the first test's time
# limit, and before the run's server starts: making it ends its session.
"$here/wine_run.sh" "$WINEPREFIX" cmd /c exit
# The server of that session lingers a few seconds; the run's own server
# can only start once it is gone.
wineserver -k 2>/dev/null || true
wineserver -w
trap 'wineserver -k 2>/dev/null || true' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
wineserver -p </dev/null >/dev/null 2>&1
# The session's own services start with its first program and hold on to
# that program's output: started here, they leave ctest's pipes alone.
"$here/wine_run.sh" "$WINEPREFIX" cmd /c exit </dev/null >/dev/null 2>&1
# So does the desktop process, which Wine ends a moment after the last
# program with a window has gone and starts again for the next one: a
# program that keeps a window for the whole run keeps the first desktop,
# which holds no test's output open.
"$here/wine_run.sh" "$WINEPREFIX" notepad </dev/null >/dev/null 2>&1 &
ctest --test-dir "$build" "$@"
