#!/usr/bin/env bash
# windows.sh: the Windows lane. Cross-builds the Windows program with
# mingw-w64 (posix thread model, linked statically): the 32-bit refirm.exe
# users run (build-win32, with its request-block layout checks) and the 64-bit
# build the tests run (build-win64). Then, under Wine, in a fresh prefix with
# one persistent wineserver: the unit tests, an upgrade of a virtual scanner
# by the program, an upgrade through the real "sti.dll" loading path, and an
# interactive upgrade with the Win32 dialogs under Xvfb answered by xdotool.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/setup.sh --windows
start=$SECONDS

jobs=$(nproc)
cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build build-win64 -j "$jobs"
built=$SECONDS

# The 32-bit program builds on one core while Wine, which mostly waits, runs
# the 64-bit one; its result is checked at the end.
(
    cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DREFIRM_BUILD_TESTS=OFF >/dev/null &&
        cmake --build build-win32 -j 1 --target refirm
) >build-win64/win32-build.log 2>&1 &
win32=$!

# Wine: a fresh prefix under the build directory and one wineserver for the
# whole lane (each process start then costs a fraction of a second).
export WINEPREFIX=$top/build-win64/wine WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
rm -rf "$WINEPREFIX"
$wine wineboot -i >/dev/null 2>&1 || true
$server -p 2>/dev/null || true
trap '$server -k 2>/dev/null || true' EXIT
$wine cmd /c exit >/dev/null 2>&1 || true # warm-up

echo "== windows: unit tests under Wine"
ctest --test-dir build-win64 -j "$jobs" --output-on-failure --timeout 300

echo "== windows: the 64-bit program upgrades a virtual scanner"
work=$top/build-win64/rehearsal
rm -rf "$work"
mkdir -p "$work"
cp examples/scanners/MORVI.ini examples/images/MORVI_1.21.MOT "$work/"
printf '[refirm]\r\nNewFirmwareVersion=1.21\r\n' >"$work/refirm.ini"
sed -i '/^\[Scanner\]/a Trace=morvi.trace\nState=morvi.state' "$work/MORVI.ini"
(
    cd "$work"
    REFIRM_SIMULATE="Z:${work//\//\\}\\MORVI.ini" REFIRM_TIME_SCALE=0.01 REFIRM_CONSOLE=1 \
        timeout 300 $wine "$top/build-win64/refirm.exe" MORVI_1.21.MOT MORVI silent_w_err \
        >run.out 2>&1
)
log=$(find "$WINEPREFIX" -name Refirm.log | head -1)
cat "$log"
grep -q "Firmware upgrade completed." "$log"
grep -q "^revision 1.21" "$work/morvi.state"

# Without REFIRM_SIMULATE: the virtual scanners' sti.dll, then Wine's own.
scripts/windows_sti_dll.sh build-win64

# The Win32 dialogs under Xvfb, answered by xdotool, with a screenshot of the
# upgrade dialog mid-run (in a prefix of its own, made with the display up).
scripts/windows_interactive.sh build-win64 --screenshot "$top/build-win64/windows_upgrade_dialog.png"

if ! wait $win32; then
    cat build-win64/win32-build.log
    echo "windows: the 32-bit program did not build" >&2
    exit 1
fi
echo "== windows: the 32-bit program built (build-win32/refirm.exe)"

echo "== windows: lane took $((SECONDS - start)) s (64-bit build $((built - start)) s)"
