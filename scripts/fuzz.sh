#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer targets (clang++, AddressSanitizer
# and UndefinedBehaviorSanitizer) into build-fuzz, runs each target once over
# its regression inputs (tests/fuzz/regressions/<target>/), then fuzzes each
# for SECONDS (default 10) from its seed corpus. New corpus entries go to a
# scratch directory, crash inputs to build-fuzz/crashes/<target>/. Fails when
# any target crashes; prints the executions of each.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
top=$PWD
dir=build-fuzz

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_COMPILER=clang++ -DREFIRM_GUI=OFF \
    -DREFIRM_FUZZ=ON -DREFIRM_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=()
summary=()
for source in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    binary=$top/$dir/fuzz_$name
    crashes=$top/$dir/crashes/$name
    mkdir -p "$crashes" "$scratch/$name"
    log=$scratch/$name.log

    regressions=tests/fuzz/regressions/$name
    if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
        if ! "$binary" -runs=1 "$regressions"/* >"$log" 2>&1; then
            tail -n 40 "$log"
            failed+=("$name (regressions)")
            continue
        fi
    fi

    if "$binary" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="$crashes/" "$scratch/$name" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
        status=ok
    else
        status=CRASH
        tail -n 60 "$log"
        failed+=("$name")
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    summary+=("$(printf '%-8s %-6s %s executions' "$name" "$status" "${runs:-?}")")
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]} (inputs in $dir/crashes/)" >&2
    exit 1
fi
