#!/usr/bin/env bash
# Runs each libFuzzer target of the checked build (scripts/checked-build.sh, which this builds
# first) for a bounded time, LINNET_FUZZ_SECONDS, 10 by default, from the seed corpus kept in
# fuzz/corpus. A crash, a sanitizer report or a broken invariant fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_CHECKED_BUILD_DIR:-$root/build-checked}
seconds=${LINNET_FUZZ_SECONDS:-10}
"$root/scripts/checked-build.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One target: new inputs go to the scratch folder; the kept seeds are only read.
fuzz_one() {
    local binary=$1 target=$2
    mkdir -p "$work/$target"
    if "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/$target-" \
        "$work/$target" "$root/fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
        echo ok >"$work/$target.result"
    else
        echo failed >"$work/$target.result"
    fi
}

# As many targets at once as there are processors; each is one process.
targets=()
for binary in "$build"/fuzz_*; do
    [ -x "$binary" ] || continue
    name=$(basename "$binary")
    targets+=("${name#fuzz_}")
    while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do
        wait -n || true
    done
    fuzz_one "$binary" "${name#fuzz_}" &
done
wait
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets in $build"; exit 1; }

status=0
for target in "${targets[@]}"; do
    if [ "$(cat "$work/$target.result" 2>/dev/null)" = ok ]; then
        runs=$(grep -m1 'stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}')
        echo "fuzz $target: ${runs:-?} executions in $seconds s, no failure"
    else
        echo "fuzz $target: FAILED"
        tail -n 40 "$work/$target.log"
        status=1
    fi
done
exit $status
