#!/usr/bin/env bash
# Runs a Windows program under Wine: the CTest emulator of the windows preset, and
# scripts/demo.sh --windows.
#   scripts/wine_run.sh program.exe [args...]
# The Wine prefix lives in the build folder that holds the program (the nearest folder above
# it with a CMakeCache.txt), in wineprefix/, unless WINEPREFIX is set.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 program.exe [args...]" >&2; exit 2; }
wine=${KVX_WINE:-/usr/lib/wine/wine64}
wineserver=${KVX_WINESERVER:-$(dirname "$wine")/wineserver64}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts, no desktop menu entries.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    [ "$dir" = / ] && dir=$(cd "$(dirname "$1")" && pwd)
    export WINEPREFIX="$dir/wineprefix"
fi
mkdir -p "$WINEPREFIX"

# The Wine server, and the system processes (services, explorer, ...) that the first program
# of a server starts, inherit that program's files and outlive it; CTest would then wait for
# them before it ends the test. So we start them here, detached, under a lock that also keeps
# tests started in parallel from racing to create the prefix. They stay up until 10 s after
# the last program ends; while they run this costs one failed server start.
(
    flock 9
    started=0
    "$wineserver" -p10 </dev/null >/dev/null 2>&1 9>&- && started=1
    if [ ! -f "$WINEPREFIX/.kvx-ready" ]; then
        "$wine" wineboot -i </dev/null >"$WINEPREFIX/boot.log" 2>&1 9>&- ||
            { cat "$WINEPREFIX/boot.log" >&2; exit 1; }
        touch "$WINEPREFIX/.kvx-ready"
    elif [ $started -eq 1 ]; then
        "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"

exec "$wine" "$@"
