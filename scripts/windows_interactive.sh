#!/usr/bin/env bash
# windows_interactive.sh [BUILD_DIR] [--screenshot FILE.png]: an interactive
# upgrade of a virtual MORVI by the 64-bit program (BUILD_DIR/refirm.exe,
# default build-win64) with its Win32 dialogs, under Xvfb, without silent
# flags: every box is answered by xdotool ("y" for Yes, Return for OK; there
# is no window manager, so keys go to the box itself). Checks that the run
# ends well, that the completion box ("Firmware upgrade completed.", which a
# run with boxes writes to no log) appeared, no error box did, and that the
# scanner's state reaches 1.21. With --screenshot (or a FILE.png argument),
# the virtual scanner takes its time over each command and a screenshot of
# the upgrade dialog is taken while the bars move.
#
# Runs in a fresh Wine prefix under BUILD_DIR/interactive. Every wait is
# bounded.
set -euo pipefail
cd "$(dirname "$0")/.."

build="build-win64"
shot=
while [ $# -gt 0 ]; do
    case $1 in
    --screenshot)
        shot=${2:?--screenshot needs a file name}
        shift 2
        ;;
    *.png)
        shot=$1
        shift
        ;;
    *)
        build=$1
        shift
        ;;
    esac
done
build=$(cd "$build" && pwd)
[ -f "$build/refirm.exe" ] || { echo "windows_interactive: no $build/refirm.exe" >&2; exit 2; }
[ -z "$shot" ] || shot=$(realpath -m "$shot")

wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
work=$build/interactive
rm -rf "$work"
mkdir -p "$work"

xvfb=
run=
own_prefix=0
cleanup() {
    [ -z "$run" ] || kill "$run" 2>/dev/null || true
    # Ends the prefix's own programs, and only those.
    [ $own_prefix = 0 ] || timeout 30 $server -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

cp examples/scanners/MORVI.ini examples/images/MORVI_1.21.MOT "$work/"
printf '[refirm]\r\nNewFirmwareVersion=1.21\r\n' >"$work/refirm.ini"
sed -i '/^\[Scanner\]/a Trace=morvi.trace\nState=morvi.state' "$work/MORVI.ini"
scale=0.1
if [ -n "$shot" ]; then
    # 128 commands write and compare the image: some seconds at 40 ms each.
    sed -i '/^\[Scanner\]/a CommandTime=40' "$work/MORVI.ini"
    scale=1
fi

# A display of its own: Xvfb picks a free one and says which.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "windows_interactive: Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(head -1 "$work/display")
export DISPLAY

# Wine's desktop belongs to the display it first saw: a prefix of its own,
# made with the display already there, and one wineserver for the run.
own_prefix=1
export WINEPREFIX=$work/prefix
timeout 300 $wine wineboot -i >/dev/null 2>&1 || true
timeout 30 $server -p 2>/dev/null || true
# Without a window manager Wine draws the captions itself.
timeout 60 $wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >/dev/null 2>&1 || true

(
    cd "$work"
    rc=0
    REFIRM_SIMULATE="Z:${work//\//\\}\\MORVI.ini" REFIRM_TIME_SCALE=$scale \
        timeout 180 $wine "$build/refirm.exe" MORVI_1.21.MOT MORVI >run.out 2>&1 || rc=$?
    echo $rc >rc
) &
run=$!

x() { timeout 10 "$@" 2>/dev/null; }
windows() { x xdotool search --onlyvisible --name "$1" || true; }
# Answers every visible window whose title matches; true when there was one.
answer() {
    local found=1 w
    for w in $(windows "$1"); do
        found=0
        x xdotool windowfocus "$w" key --window "$w" "$2" || true
    done
    return $found
}

completed=0
errors=0
seen=
deadline=$((SECONDS + 200))
while [ ! -f "$work/rc" ] && [ $SECONDS -lt $deadline ]; do
    answer '^Warning$' y || true
    answer '^Firmware upgrade completed[.]$' Return && completed=1
    answer '^Error$' Return && errors=$((errors + 1))
    if [ -n "$shot" ] && [ ! -s "$shot" ] && [ -n "$(windows '^Upgrading firmware')" ] &&
        [ -z "$(windows '^Warning$')" ]; then
        # The dialog shows once the writing has begun: a moment later both
        # bars have moved.
        [ -n "$seen" ] || seen=$SECONDS
        if [ $((SECONDS - seen)) -ge 1 ]; then
            x xwd -root | xwdtopnm 2>/dev/null | pnmtopng >"$shot.tmp" && mv "$shot.tmp" "$shot"
        fi
    fi
    sleep 0.2
done
wait "$run" 2>/dev/null || true
run=

rc=$(cat "$work/rc" 2>/dev/null || echo none)
echo "== windows: interactive run ended with $rc"
fail() {
    echo "windows_interactive: $1" >&2
    cat "$work/run.out" >&2
    exit 1
}
[ "$rc" = 0 ] || fail "the program did not end well"
[ $completed = 1 ] || fail "no completion box"
[ $errors = 0 ] || fail "$errors error boxes"
grep -q "^revision 1.21" "$work/morvi.state" || fail "the scanner was not upgraded"
[ -z "$shot" ] || [ -s "$shot" ] || fail "no screenshot"
echo "== windows: interactive upgrade with the Win32 dialogs answered by xdotool${shot:+ ($shot)}"
