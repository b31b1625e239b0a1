#!/bin/sh
# Runs the tests of a Windows build folder under Wine:
#   wine_tests.sh BUILD [CTEST ARGUMENTS...]
# One persistent Wine server serves the whole run, so a test program starts
# in a fraction of a second instead of bringing up Wine on its own; it is
# stopped at the end whatever the outcome, and with it every Wine process of
# the run.
set -eu
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$build/wine"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
# Makes the prefix now, once, rather than inside the first test's time limit.
"$here/wine_run.sh" "$WINEPREFIX" cmd /c exit
ctest --test-dir "$build" "$@"
