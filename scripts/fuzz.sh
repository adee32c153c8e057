#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (LINNET_FUZZ_SECONDS,
# 30 by default) from the seed corpus kept in fuzz/corpus. A crash, a sanitizer report or a
# broken invariant fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${LINNET_FUZZ_SECONDS:-30}
# A build folder made when the fuzzers were a project of their own cannot be reused.
if grep -qs "^CMAKE_HOME_DIRECTORY:INTERNAL=$root/fuzz\$" "$build/CMakeCache.txt"; then
    rm -rf "$build"
fi
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLINNET_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target linnet-fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for binary in "$build"/fuzz_*; do
    [ -x "$binary" ] || continue
    name=$(basename "$binary")
    target=${name#fuzz_}
    mkdir -p "$work/$target"
    # New inputs go to the scratch folder; the kept seeds are only read.
    if "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/$target" "$root/fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
        runs=$(grep -m1 'stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}')
        echo "fuzz $target: ${runs:-?} executions, no failure"
    else
        echo "fuzz $target: FAILED"
        tail -n 40 "$work/$target.log"
        status=1
    fi
done
exit $status
