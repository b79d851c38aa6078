#!/usr/bin/env bash
# windows_interactive.sh BUILD_DIR [SCREENSHOT.png]: an interactive upgrade of
# a virtual MORVI by the 64-bit program with its Win32 dialogs, under Xvfb,
# every box answered by xdotool ("y" for Yes, Return for OK; there is no
# window manager, so keys go to the box itself). Checks that the
# scanner's state reaches 1.21 and the completion box appeared; with a file
# name, saves a screenshot of the upgrade dialog taken mid-run.
# Uses the caller's WINEPREFIX (and wineserver) when set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?usage: windows_interactive.sh BUILD_DIR [SCREENSHOT.png]}" && pwd)
shot=${2:-}
wine=/usr/lib/wine/wine64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$build/wine}

work=$build/interactive
rm -rf "$work"
mkdir -p "$work"
cp examples/scanners/MORVI.ini examples/images/MORVI_1.21.MOT "$work/"
printf '[refirm]\r\nNewFirmwareVersion=1.21\r\n' >"$work/refirm.ini"
sed -i '/^\[Scanner\]/a Trace=morvi.trace\nState=morvi.state' "$work/MORVI.ini"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

(
    cd "$work"
    # Slow enough for the dialog to be seen mid-run.
    REFIRM_SIMULATE="Z:${work//\//\\}\\MORVI.ini" REFIRM_TIME_SCALE=0.5 \
        timeout 120 $wine "$build/refirm.exe" MORVI_1.21.MOT MORVI >run.out 2>&1
    echo $? >rc
) &

names() {
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        xdotool getwindowname "$w" 2>/dev/null || true
    done
}
completed=0
shot_taken=0
for _ in $(seq 1 200); do
    [ -f "$work/rc" ] && break
    for w in $(xdotool search --onlyvisible --name '^Warning$' 2>/dev/null); do
        xdotool windowfocus "$w" key --window "$w" y 2>/dev/null || true
    done
    for w in $(xdotool search --onlyvisible --name '^Firmware upgrade completed[.]$' 2>/dev/null); do
        completed=1
        xdotool windowfocus "$w" key --window "$w" Return 2>/dev/null || true
    done
    if [ -n "$shot" ] && [ $shot_taken = 0 ] && names | grep -q '^Upgrading firmware' &&
        ! names | grep -q '^Warning$'; then
        sleep 0.5
        xwd -root | xwdtopnm 2>/dev/null | pnmtopng >"$shot" && shot_taken=1
    fi
    sleep 0.3
done
wait %2 2>/dev/null || true
echo "== windows: interactive run ended with $(cat "$work/rc" 2>/dev/null || echo none)"
[ $completed = 1 ] || { echo "windows_interactive: no completion box" >&2; cat "$work/run.out" >&2; exit 1; }
grep -q "^revision 1.21" "$work/morvi.state" ||
    { echo "windows_interactive: the scanner was not upgraded" >&2; exit 1; }
[ -z "$shot" ] || [ $shot_taken = 1 ] || { echo "windows_interactive: no screenshot" >&2; exit 1; }
echo "== windows: interactive upgrade with the Win32 dialogs answered by xdotool"
