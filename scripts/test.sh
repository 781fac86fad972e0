#!/usr/bin/env bash
# Builds kvx and runs every test: the native build, AddressSanitizer+UBSan, ThreadSanitizer,
# and the Windows build under Wine; then the installed-package check, the style checks and a
# short fuzz run when clang is present. Ends with one "N passed, N failed" line.
#   scripts/test.sh [pass...]     passes: native asan-ubsan tsan windows package style fuzz
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KVX_JOBS:-$(nproc)}

scripts/install_deps.sh base windows fuzz || { echo "dependency installation failed"; exit 1; }

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

passed=0
failed=0
failed_names=()

record() {  # record NAME PASSED FAILED
    passed=$((passed + $2))
    failed=$((failed + $3))
    [ "$3" -ne 0 ] && failed_names+=("$1")
    return 0
}

ctest_pass() {  # ctest_pass PRESET: configure, build, run ctest, count results
    local preset=$1 log="build/$1.ctest.log"
    echo "=== $preset: configure and build"
    if ! cmake --preset "$preset" >"build/$preset.configure.log" 2>&1; then
        cat "build/$preset.configure.log"; record "$preset (configure)" 0 1; return
    fi
    if ! cmake --build --preset "$preset" -j "$jobs" >"build/$preset.build.log" 2>&1; then
        tail -n 60 "build/$preset.build.log"; record "$preset (build)" 0 1; return
    fi
    echo "=== $preset: tests"
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
    local total fails
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
    fails=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
    if [ -z "$total" ]; then record "$preset (ctest)" 0 1; return; fi
    record "$preset" $((total - fails)) "$fails"
}

package_pass() {  # the installed package works from a consumer project outside the tree
    echo "=== package: install and build a consumer"
    local prefix="$root/build/package/prefix"
    rm -rf build/package
    if cmake -S . -B build/package/kvx -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
            -DKVX_BUILD_EXAMPLES=OFF >build/package.log 2>&1 &&
        cmake --build build/package/kvx -j "$jobs" >>build/package.log 2>&1 &&
        cmake --install build/package/kvx --prefix "$prefix" >>build/package.log 2>&1 &&
        cmake -S tests/consumer -B build/package/consumer -G Ninja \
            -DCMAKE_PREFIX_PATH="$prefix" >>build/package.log 2>&1 &&
        cmake --build build/package/consumer >>build/package.log 2>&1 &&
        build/package/consumer/consumer; then
        record package 1 0
    else
        tail -n 40 build/package.log; record package 0 1
    fi
}

style_pass() {
    echo "=== style: portability and formatting"
    local ok=1
    scripts/check_portability.sh || ok=0
    mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.inc')
    if [ ${#sources[@]} -gt 0 ] && ! clang-format --dry-run -Werror "${sources[@]}"; then ok=0; fi
    if [ $ok -eq 1 ]; then record style 1 0; else record style 0 1; fi
}

fuzz_pass() {
    if ! command -v clang++ >/dev/null; then echo "=== fuzz: skipped (no clang)"; return; fi
    echo "=== fuzz: short runs and corpus replay"
    if scripts/fuzz.sh --short; then record fuzz 1 0; else record fuzz 0 1; fi
}

mkdir -p build
passes=("$@")
[ ${#passes[@]} -eq 0 ] && passes=(native asan-ubsan tsan windows package style fuzz)
for pass in "${passes[@]}"; do
    case "$pass" in
    native) ctest_pass dev ;;
    asan-ubsan | tsan | windows) ctest_pass "$pass" ;;
    package) package_pass ;;
    style) style_pass ;;
    fuzz) fuzz_pass ;;
    *) echo "unknown pass $pass"; record "$pass" 0 1 ;;
    esac
done

[ ${#failed_names[@]} -gt 0 ] && echo "failed: ${failed_names[*]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
