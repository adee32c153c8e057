#!/usr/bin/env bash
# Installs what is missing, builds, and runs everything that checks the program: the package
# checks, the tests under the sanitizers, the fuzzers, and the whole test suite. Two builds: the
# plain one with GCC (build/) and the checked one with clang (build-checked/), both with warnings
# as errors, each layer's sources in batches and line tables for debug information. Each stage
# says how long it took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
export LINNET_WERROR=ON LINNET_UNITY_BUILD=ON LINNET_LINE_TABLES_ONLY=ON
start=$SECONDS
stage() {
    local name=$1 began=$SECONDS
    shift
    echo "== test.sh: $name"
    "$@"
    echo "== test.sh: $name took $((SECONDS - began)) s ($((SECONDS - start)) s in all)"
}
stage "packages" "$root/scripts/setup.sh"
stage "plain build (GCC)" "$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
stage "package check" "$root/scripts/package-check.sh"
stage "checked build (clang, sanitizers)" "$root/scripts/checked-build.sh"
stage "tests under the sanitizers" "$root/scripts/sanitize.sh"
stage "fuzzers" "$root/scripts/fuzz.sh"
# Last, so that its summary closes the run.
stage "tests" ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
