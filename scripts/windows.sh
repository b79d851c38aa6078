#!/usr/bin/env bash
# windows.sh: cross-builds the Windows program (64-bit build-win64, 32-bit
# build-win32, mingw-w64 posix thread model, linked statically) and rehearses
# an upgrade of a virtual scanner with the 64-bit program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/setup.sh g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64

for arch in x86_64:win64 i686:win32; do
    dir=build-${arch#*:}
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-${arch%%:*}.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREFIRM_BUILD_TESTS=OFF >/dev/null
    cmake --build "$dir" -j "$(nproc)"
done

# The rehearsal: a fresh Wine prefix under the build directory, one
# wineserver for the whole run.
work=$top/build-win64/rehearsal
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
$wine wineboot -i >/dev/null 2>&1 || true
$server -p 2>/dev/null || true # persists the server wineboot started
trap '$server -k || true' EXIT

cp examples/scanners/MORVI.ini examples/images/MORVI_1.21.MOT "$work/"
printf '[refirm]\r\nNewFirmwareVersion=1.21\r\n' >"$work/refirm.ini"
sed -i '/^\[Scanner\]/a Trace=morvi.trace\nState=morvi.state' "$work/MORVI.ini"
cd "$work"
REFIRM_SIMULATE="Z:${work//\//\\}\\MORVI.ini" REFIRM_TIME_SCALE=0.01 \
    timeout 300 $wine "$top/build-win64/refirm.exe" MORVI_1.21.MOT MORVI silent_w_err >run.out 2>&1
log=$(find "$WINEPREFIX" -name Refirm.log | head -1)
cat "$log"
grep -q "Firmware upgrade completed." "$log"
grep -q "^revision 1.21" morvi.state
echo "== windows: the 64-bit program upgraded the virtual scanner under Wine"
