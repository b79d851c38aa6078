#!/usr/bin/env bash
# The main job: builds refirm and upgrades a virtual scanner with it, as a
# technician would: an SX-2300C (examples/scanners/MORVI.ini) carrying firmware
# 1.20 is offered 1.21 (examples/refirm.ini) from examples/images/MORVI_1.21.MOT.
# At a terminal the two confirmations are yours to answer; otherwise they are
# answered "y". The scanner's trace, flash dump and state, and the log, are
# shown at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/setup.sh
scripts/build.sh build
work=$(mktemp -d)
cp examples/scanners/MORVI.ini "$work/scanner.ini"
printf 'Trace=scanner.trace\nFlashDump=scanner.mot\nState=scanner.state\nCommandTime=15\n' >>"$work/scanner.ini"
cp examples/refirm.ini "$work/refirm.ini"
echo "== $work: build/refirm examples/images/MORVI_1.21.MOT MORVI"
cd "$work"
run() {
    TMPDIR=$work REFIRM_SIMULATE=$work/scanner.ini \
        "$top/build/refirm" "$top/examples/images/MORVI_1.21.MOT" MORVI
}
if [ -t 0 ]; then
    run
else
    printf 'y\ny\n' | REFIRM_UI=console run
fi
echo "== commands the scanner received: $(wc -l <scanner.trace) (first ten)"
head -10 scanner.trace
echo "== flash dump: $(wc -l <scanner.mot) S-records in $work/scanner.mot"
echo "== scanner state"
grep -v '^S' scanner.state
