#!/usr/bin/env bash
# build.sh DIR [SANITIZERS [TARGET...]]: configures and builds the project (or
# just the targets named) into DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
sanitize=${2:-}
shift $(( $# < 2 ? $# : 2 ))
targets=()
for t in "$@"; do targets+=(--target "$t"); done
# The graphical toolkit's own threads are not instrumented for
# ThreadSanitizer: that build goes without the graphical front end (and so
# also checks that the program builds without it).
gui=ON
[ "$sanitize" != thread ] || gui=OFF
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREFIRM_SANITIZE="$sanitize" \
    -DREFIRM_GUI="$gui" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
