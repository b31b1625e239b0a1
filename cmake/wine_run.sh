#!/bin/sh
# Runs a Windows program under Wine with Wine's state in PREFIX:
#   wine_run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# The prefix is made on first use; a lock keeps two first uses from making it
# at once. Wine's own diagnostics are silenced so that the program's output
# is all there is.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko download prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
ready="$prefix/.made"
if [ ! -f "$ready" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    # Wine's helper processes outlive wineboot: they must not inherit the
    # lock. Windows are made by Wine's null display driver, so programs
    # that make windows run without a display; the desktop process reads
    # the driver when it starts, so this first session ends here.
    if [ ! -f "$ready" ]; then
      wine wineboot --init 9>&- >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f 9>&- >/dev/null 2>&1
      wineserver -k 9>&- 2>/dev/null || true
      touch "$ready"
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
