#!/usr/bin/env bash
# windows_sti_dll.sh BUILD_DIR: the 64-bit program's system Still Image path
# under Wine, without REFIRM_SIMULATE, so that "sti.dll" is loaded with
# LoadLibraryA and reached through StiCreateInstanceW and the COM interfaces.
#   1. The virtual scanners' sti.dll (BUILD_DIR/sti_dll) beside refirm.exe,
#      finding its MORVI profile through REFIRM_STI_DLL_SCANNER: a silent
#      upgrade completes and the scanner's state file reports 1.21.
#   2. Nothing beside refirm.exe, so that Wine's own sti.dll answers (its
#      device list is not implemented): the program ends by itself, with "No
#      Devices Found." in the log.
# Uses the Wine prefix and server of the caller when WINEPREFIX is set (as
# scripts/windows.sh does); otherwise a fresh prefix under BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=$(cd "${1:?usage: windows_sti_dll.sh BUILD_DIR}" && pwd)
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$build/wine-sti
    rm -rf "$WINEPREFIX"
    $wine wineboot -i >/dev/null 2>&1 || true
    $server -p 2>/dev/null || true
    trap '$server -k 2>/dev/null || true' EXIT
fi

for file in refirm.exe refirm.LOC sti_dll/sti.dll; do
    [ -f "$build/$file" ] || { echo "windows_sti_dll: $build/$file is missing" >&2; exit 1; }
done

# The program's log (in the prefix's profile), removed before each run.
log_file() { find "$WINEPREFIX" -name Refirm.log 2>/dev/null | head -1; }
clear_log() { find "$WINEPREFIX" -name Refirm.log -delete 2>/dev/null || true; }
copy_log() {
    local log
    log=$(log_file)
    if [ -n "$log" ]; then cp "$log" "$1"; else : >"$1"; fi
}

# A scratch directory with the program, its localisation and settings, the
# image and the MORVI profile (state and trace beside it).
prepare() {
    local dir=$1
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$build/refirm.exe" "$build/refirm.LOC" examples/images/MORVI_1.21.MOT "$dir/"
    cp examples/scanners/MORVI.ini "$dir/"
    sed -i '/^\[Scanner\]/a Trace=morvi.trace\nState=morvi.state' "$dir/MORVI.ini"
    printf '[refirm]\r\nNewFirmwareVersion=1.21\r\n' >"$dir/refirm.ini"
}

# Runs the silent upgrade in `dir`; the exit code lands in dir/rc.
upgrade() {
    local dir=$1
    shift
    (
        cd "$dir"
        set +e
        env -u REFIRM_SIMULATE REFIRM_TIME_SCALE=0.01 REFIRM_CONSOLE=1 "$@" \
            timeout 300 $wine "$dir/refirm.exe" MORVI_1.21.MOT MORVI silent_w_err >run.out 2>&1
        echo $? >rc
    )
}

fail() {
    echo "windows_sti_dll: $1" >&2
    [ -n "${2:-}" ] && cat "$2" >&2
    exit 1
}

work=$build/sti-dll-rehearsal

echo "== windows: an upgrade through the virtual scanners' sti.dll beside the program"
dir=$work/with-dll
prepare "$dir"
cp "$build/sti_dll/sti.dll" "$dir/"
clear_log
upgrade "$dir" REFIRM_STI_DLL_SCANNER="Z:${dir//\//\\}\\MORVI.ini"
copy_log "$dir/run.log"
cat "$dir/run.log"
[ "$(cat "$dir/rc")" = 0 ] || fail "the upgrade ended with $(cat "$dir/rc")" "$dir/run.out"
grep -q "Firmware upgrade completed." "$dir/run.log" || fail "no completed upgrade in the log"
grep -q "^revision 1.21" "$dir/morvi.state" || fail "the scanner does not report 1.21" "$dir/morvi.state"
# The commands reached the scanner inside the DLL, the only one there is.
[ -s "$dir/morvi.trace" ] || fail "the scanner received no command"

echo "== windows: Wine's own sti.dll lists no device"
dir=$work/without-dll
prepare "$dir"
clear_log
upgrade "$dir"
copy_log "$dir/run.log"
cat "$dir/run.log"
rc=$(cat "$dir/rc")
# 124: the program hung; above 128 or Windows exception codes: it crashed.
[ "$rc" -lt 124 ] || fail "the program did not end by itself ($rc)" "$dir/run.out"
grep -q "No Devices Found." "$dir/run.log" || fail "no \"No Devices Found.\" in the log" "$dir/run.out"
grep -q "Firmware upgrade completed." "$dir/run.log" && fail "an upgrade completed without a scanner"
[ ! -e "$dir/morvi.state" ] || fail "the virtual scanner was reached"
echo "== windows: the system Still Image path works (ended with $rc without a device)"
