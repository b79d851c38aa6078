#!/usr/bin/env bash
# gui_upgrade_test.sh REFIRM: the real program with its graphical front end
# under Xvfb against a virtual SX-2300C (MORVI) carrying 1.20, offered 1.21.
#   1. an interactive run, chosen by the display alone: both confirmations
#      answered Yes with keystrokes, the upgrade dialog's bars seen moving in
#      two pictures of it, the result box "Firmware upgrade completed."
#      answered, the scanner at 1.21;
#   2. the first confirmation declined: nothing written, the scanner at 1.20;
#   3. silent_w_err with the display there: no box at all, the result in the
#      log, the scanner at 1.21;
#   4. REFIRM_UI=console with the display there: the terminal's questions, no
#      window.
# Exits 77 (skipped) only when Xvfb cannot start. Every wait is bounded.
set -euo pipefail
refirm=$(realpath "${1:?usage: gui_upgrade_test.sh REFIRM}")
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/xsession.sh
. "$top/scripts/xsession.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/refirm-gui.XXXXXX")
xsession_start "$work/x" || {
    rc=$?
    [ $rc = 77 ] && echo "SKIPPED: Xvfb cannot start here" >&2
    exit $rc
}
# The toolkit's own allocations live as long as the process.
export LSAN_OPTIONS="suppressions=$top/tests/e2e/gui_leaks.supp:print_suppressions=0"
unset REFIRM_UI REFIRM_CONSOLE REFIRM_SCRIPT REFIRM_RECORD

fail() {
    echo "FAIL: $*" >&2
    for f in "$case_dir"/run.out "$case_dir"/Refirm.log; do
        [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
    done
    exit 1
}

# A fresh case directory: the scanner's profile (40 ms a command, so that the
# bars take a few seconds), the settings that offer 1.21, its own log place.
new_case() {
    case_dir=$work/$1
    mkdir -p "$case_dir"
    cp "$top/examples/scanners/MORVI.ini" "$case_dir/scanner.ini"
    printf 'Trace=scanner.trace\nState=scanner.state\nCommandTime=40\n' >>"$case_dir/scanner.ini"
    cp "$top/examples/refirm.ini" "$case_dir/refirm.ini"
}

# Starts the program in the case directory; its status lands in "rc".
start() {
    (
        cd "$case_dir"
        rc=0
        TMPDIR=$case_dir REFIRM_SIMULATE=$case_dir/scanner.ini REFIRM_TIME_SCALE=0.5 \
            HOME=$case_dir XDG_CONFIG_HOME=$case_dir/config \
            timeout 120 "$refirm" "$top/examples/images/MORVI_1.21.MOT" MORVI "$@" \
            >run.out 2>&1 </dev/null || rc=$?
        echo $rc >rc
    ) &
}

revision() { grep -m1 '^revision ' "$case_dir/scanner.state" 2>/dev/null | cut -d' ' -f2; }
ended() { [ -f "$case_dir/rc" ]; }

echo "== 1: an interactive upgrade"
new_case interactive
start
confirmations=0
completed=0
errors=0
first=
second=
deadline=$((SECONDS + 150))
while ! ended && [ $SECONDS -lt $deadline ]; do
    xanswer '^Warning$' alt+y && confirmations=$((confirmations + 1))
    xanswer '^Error$' Return && errors=$((errors + 1))
    if [ $completed = 0 ] && [ -n "$(xwindows '^Firmware upgrade completed[.]$')" ]; then
        completed=1
        xanswer '^Firmware upgrade completed[.]$' Return || true
    fi
    dialog=$(xwindows '^Upgrading firmware' | head -1)
    if [ -n "$dialog" ] && [ -z "$second" ]; then
        n=$(xpixels_highlight "$dialog")
        if [ -z "$first" ]; then
            [ "$n" -gt 0 ] && first=$n
        elif [ "$n" -gt $((first + 200)) ]; then
            second=$n
            xshot "$case_dir/moving.png" "$dialog"
        fi
    fi
    sleep 0.2
done
ended || fail "the interactive run did not end"
[ "$(cat "$case_dir/rc")" = 0 ] || fail "the program ended with status $(cat "$case_dir/rc")"
[ $confirmations -ge 2 ] || fail "expected two confirmations, saw $confirmations"
[ $errors = 0 ] || fail "an error box appeared"
[ $completed = 1 ] || fail "no box \"Firmware upgrade completed.\" appeared"
[ -n "$second" ] || fail "the bars were not seen moving (blue pixels: ${first:-none})"
[ "$(revision)" = 1.21 ] || fail "the scanner is at $(revision), not 1.21"
echo "bars moved: $first -> $second blue pixels; completed; scanner at 1.21"

echo "== 2: the confirmation declined"
new_case declined
start
declined=0
deadline=$((SECONDS + 60))
while ! ended && [ $SECONDS -lt $deadline ]; do
    # No is the default button.
    xanswer '^Warning$' Return && declined=$((declined + 1))
    sleep 0.2
done
ended || fail "the declined run did not end"
[ $declined = 1 ] || fail "expected one confirmation, saw $declined"
! grep -q '^memwrite\|^erase' "$case_dir/scanner.trace" || fail "a declined upgrade wrote to the scanner"
[ "$(revision)" = 1.20 ] || fail "the scanner is at $(revision) after a declined upgrade"
echo "declined: nothing written, scanner at 1.20"

echo "== 3: silent_w_err with a display"
new_case silent
start silent_w_err
boxes=
deadline=$((SECONDS + 60))
while ! ended && [ $SECONDS -lt $deadline ]; do
    for w in $(xwindows '.'); do
        name=$(_x xdotool getwindowname "$w" || true)
        case $name in
        Upgrading\ firmware* | Wait* | '') ;;
        *) boxes="$boxes [$name]" ;;
        esac
    done
    sleep 0.1
done
ended || fail "the silent run did not end"
[ -z "$boxes" ] || fail "a silent_w_err run showed windows:$boxes"
grep -q 'Firmware upgrade completed[.]' "$case_dir/Refirm.log" || fail "the log has no result"
[ "$(revision)" = 1.21 ] || fail "the scanner is at $(revision) after the silent run"
echo "silent_w_err: no box, result logged, scanner at 1.21"

echo "== 4: REFIRM_UI=console with a display"
new_case console
(
    cd "$case_dir"
    printf 'y\ny\n' | TMPDIR=$case_dir REFIRM_SIMULATE=$case_dir/scanner.ini REFIRM_UI=console \
        REFIRM_TIME_SCALE=0.1 HOME=$case_dir XDG_CONFIG_HOME=$case_dir/config \
        timeout 120 "$refirm" "$top/examples/images/MORVI_1.21.MOT" MORVI >run.out 2>&1 &
    pid=$!
    opened=0
    while kill -0 $pid 2>/dev/null; do
        [ -z "$(xwindows '.')" ] || opened=1
        sleep 0.1
    done
    wait $pid
    [ $opened = 0 ]
) || fail "the console run opened a window or failed"
grep -q 'Firmware upgrade completed[.]' "$case_dir/run.out" || fail "the console run did not complete"
[ "$(revision)" = 1.21 ] || fail "the scanner is at $(revision) after the console run"
echo "console: no window, completed"
rm -rf "$work"
echo "== all graphical cases passed"
