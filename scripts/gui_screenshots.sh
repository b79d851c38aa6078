#!/usr/bin/env bash
# gui_screenshots.sh [BUILD_DIR [OUT_DIR]]: pictures of the graphical front
# end, in English and in Japanese, under Xvfb with a window manager that draws
# the captions: a confirmation box, the wait dialog, the upgrade dialog while
# its bars move, and a failure box (a virtual SX-2300C whose read-back of one
# byte is wrong). BUILD_DIR defaults to build, OUT_DIR to docs/gui. The
# pictures are OUT_DIR/{en,ja}_{confirmation,wait,upgrade,failure}.png.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs/gui}")
[ -x "$build/refirm" ] || { echo "gui_screenshots: no $build/refirm" >&2; exit 2; }
mkdir -p "$out"
# shellcheck source=xsession.sh
. scripts/xsession.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/refirm-shots.XXXXXX")
xsession_start "$work/x" --manager
unset REFIRM_UI REFIRM_CONSOLE REFIRM_SCRIPT REFIRM_RECORD

# The screen cropped to the windows on it, with a margin.
screen_shot() {
    xshot_screen "$work/screen.ppm"
    pnmcrop -black "$work/screen.ppm" 2>/dev/null | pnmmargin -black 6 2>/dev/null |
        pnmtopng >"$1" 2>/dev/null
    echo "  $1"
}

shots() {
    local lang=$1 locale=$2 dir=$work/$1
    mkdir -p "$dir"
    cp examples/scanners/MORVI.ini "$dir/scanner.ini"
    printf 'State=scanner.state\nCommandTime=60\nCorruptReadAt=0xF000\n' >>"$dir/scanner.ini"
    cp examples/refirm.ini "$dir/refirm.ini"
    (
        cd "$dir"
        LANG=$locale LC_ALL= LC_MESSAGES= TMPDIR=$dir REFIRM_SIMULATE=$dir/scanner.ini \
            HOME=$dir XDG_CONFIG_HOME=$dir/config \
            timeout 120 "$build/refirm" "$top/examples/images/MORVI_1.21.MOT" MORVI \
            >run.out 2>&1 </dev/null || true
        touch done
    ) &
    local confirmation=0 wait=0 upgrade=0 failure=0 deadline=$((SECONDS + 120)) dialog first=
    while [ ! -f "$dir/done" ] && [ $SECONDS -lt $deadline ]; do
        if [ -n "$(xwindows '^(Warning|警告)$')" ]; then
            if [ $confirmation = 0 ]; then
                sleep 0.5
                screen_shot "$out/${lang}_confirmation.png"
                confirmation=1
            fi
            xanswer '^(Warning|警告)$' alt+y || true
        fi
        dialog=$(xwindows '^(Upgrading firmware|ファームウェア)' | head -1)
        if [ -z "$dialog" ] && [ $wait = 0 ] && [ $confirmation = 1 ] &&
            [ -n "$(xwindows '^$')" ]; then
            sleep 0.5
            screen_shot "$out/${lang}_wait.png"
            wait=1
        fi
        if [ -n "$dialog" ] && [ $upgrade = 0 ]; then
            n=$(xpixels_highlight "$dialog")
            if [ -z "$first" ]; then
                [ "$n" -gt 0 ] && first=$n
            elif [ "$n" -gt $((first + 1500)) ]; then
                screen_shot "$out/${lang}_upgrade.png"
                upgrade=1
            fi
        fi
        if [ -n "$(xwindows '^(Error|エラー)$')" ]; then
            if [ $failure = 0 ]; then
                sleep 0.5
                screen_shot "$out/${lang}_failure.png"
                failure=1
            fi
            xanswer '^(Error|エラー)$' Return || true
        fi
        sleep 0.1
    done
    for scene in confirmation wait upgrade failure; do
        [ -s "$out/${lang}_$scene.png" ] || { echo "gui_screenshots: no $lang $scene picture" >&2; cat "$dir/run.out" >&2; exit 1; }
    done
}

echo "== English"
shots en en_US.UTF-8
echo "== Japanese"
shots ja ja_JP.UTF-8
rm -rf "$work"
