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
# Line tables are debug information enough for backtraces and sanitizer
# reports, and compile much faster than full debug information; sanitizer
# builds are optimised as their documentation advises (-O1).
flags="-O2 -g1 -DNDEBUG"
[ -z "$sanitize" ] || flags="-O1 -g1 -DNDEBUG"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREFIRM_SANITIZE="$sanitize" \
    -DREFIRM_GUI="$gui" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
