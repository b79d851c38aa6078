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
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREFIRM_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
