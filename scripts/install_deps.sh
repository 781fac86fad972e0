#!/usr/bin/env bash
# Installs, with apt-get, whatever of the named package groups this machine lacks.
#   scripts/install_deps.sh base [bench] [windows] [fuzz]
# base: compiler, CMake, Ninja, GoogleTest. bench: Google Benchmark and the peer libraries.
# windows: mingw-w64, Wine and the GoogleTest sources (built with mingw). fuzz: clang with libFuzzer.
set -euo pipefail

declare -A groups=(
    [base]="g++ cmake ninja-build libgtest-dev clang-format"
    [bench]="python3 libbenchmark-dev libboost-dev libspdlog-dev libcsv-dev libpugixml-dev libtinyxml2-dev librapidxml-dev libmimalloc-dev libjemalloc-dev gnuplot-nox"
    [windows]="g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest"
    [fuzz]="clang libclang-rt-14-dev"
)

missing=()
for group in "$@"; do
    for pkg in ${groups[$group]:?unknown package group $group}; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
