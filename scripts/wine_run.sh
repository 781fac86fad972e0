#!/usr/bin/env bash
# Runs a Windows program under Wine: the CTest emulator of the windows preset, and
# scripts/demo.sh --windows.
#   scripts/wine_run.sh program.exe [args...]
# The Wine prefix lives in the build folder that holds the program (the nearest folder above
# it with a CMakeCache.txt), in wineprefix/, unless WINEPREFIX is set. The first run creates it
# under a lock, so tests started in parallel do not race to create it.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 program.exe [args...]" >&2; exit 2; }
wine=${KVX_WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}

if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    [ "$dir" = / ] && dir=$(cd "$(dirname "$1")" && pwd)
    export WINEPREFIX="$dir/wineprefix"
fi

ready="$WINEPREFIX/.kvx-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            "$wine" wineboot -i >"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; exit 1; }
            touch "$ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi

exec "$wine" "$@"
