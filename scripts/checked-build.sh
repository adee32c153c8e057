#!/usr/bin/env bash
# Configures and builds the checked build into build-checked/ (or $LINNET_CHECKED_BUILD_DIR):
# clang, AddressSanitizer and UndefinedBehaviorSanitizer on the program, its tests and the
# libFuzzer targets, warnings as errors. scripts/sanitize.sh and scripts/fuzz.sh both
# run from it, so that the program is compiled once for both. LINNET_UNITY_BUILD and
# LINNET_LINE_TABLES_ONLY as for scripts/build.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_CHECKED_BUILD_DIR:-$root/build-checked}
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLINNET_SANITIZE=ON -DLINNET_FUZZ=ON -DLINNET_WERROR=ON \
    -DLINNET_UNITY_BUILD="${LINNET_UNITY_BUILD:-OFF}" \
    -DLINNET_LINE_TABLES_ONLY="${LINNET_LINE_TABLES_ONLY:-OFF}" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
