#!/usr/bin/env bash
# Builds kvx and runs the sample host on its bundled data.
#   scripts/demo.sh              the native build
#   scripts/demo.sh --windows    the Windows build, under Wine (which opens the unix path of
#                                the bundled data as it stands)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
    scripts/install_deps.sh base windows
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$(nproc)" --target host_demo >/dev/null
    exec scripts/wine_run.sh build/windows/bin/host_demo.exe
fi
scripts/install_deps.sh base
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/demo -j "$(nproc)" --target host_demo >/dev/null
exec build/demo/examples/host_demo/host_demo
