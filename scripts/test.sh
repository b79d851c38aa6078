#!/usr/bin/env bash
# Builds and runs every test: plainly, the fuzz targets briefly, under
# AddressSanitizer with UndefinedBehaviorSanitizer, under ThreadSanitizer, and
# the Windows lane (both Windows builds; tests and upgrades under Wine).
# Also checks that the C++ sources are clang-format clean.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
jobs=$(nproc)
# Each stage's start, in seconds since the run began, for keeping CI short.
stage() { echo "== $1 (at ${SECONDS}s)"; }

stage "format"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests bench -name '*.cpp' -o -name '*.h')
clang-format --dry-run -Werror $files

stage "plain"
scripts/build.sh build
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 120

stage "fuzz"
# Every libFuzzer target for 12 seconds, after its regression inputs.
scripts/fuzz.sh 12

stage "address,undefined"
scripts/build.sh build-asan address,undefined
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 300

stage "thread"
# The threaded tests, and the end-to-end tests driving a ThreadSanitizer build
# of refirm (whose upgrades run on several threads); the single-threaded unit
# tests have nothing for it to find.
# The fault matrix runs whole in the plain and ASan builds; here three of its
# families (a main controller, one with a boot record, one with further
# processors) cover the threads of every kind of upgrade. (ctest's names of
# these tests end in a note of the parameter, hence the blank.)
scripts/build.sh build-tsan thread refirm refirm_thread_tests refirm_e2e_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j "$jobs" -L 'threaded|e2e' \
    -E 'FaultMatrix[.].*/(KIRUNA|MORVI_AUTORESET|YEW|MORVI_ASPI|OLK_BOOT)( |$)' \
    --output-on-failure --timeout 600
stage "windows"
scripts/windows.sh

stage "all tests passed"
