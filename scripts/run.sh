#!/usr/bin/env bash
# The main job on the built-in default: builds refirm and runs it unattended
# ("silent_w_err"), then shows the log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
logdir=$(mktemp -d)
echo "== build/refirm silent_w_err (log in $logdir)"
TMPDIR=$logdir build/refirm silent_w_err
if [ -f "$logdir/Refirm.log" ]; then
    echo "== Refirm.log"
    cat "$logdir/Refirm.log"
else
    echo "== Refirm.log: no entries"
fi
