#!/usr/bin/env bash
# Configures and builds into build/ (or $LINNET_BUILD_DIR) with the default compiler.
# LINNET_BUILD_TYPE chooses the build type (RelWithDebInfo by default). The test command sets
# LINNET_WERROR=ON (warnings are errors), LINNET_UNITY_BUILD=ON and LINNET_LINE_TABLES_ONLY=ON
# (a faster build of the same program); each is OFF unless set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${LINNET_BUILD_TYPE:-RelWithDebInfo}" \
    -DLINNET_WERROR="${LINNET_WERROR:-OFF}" -DLINNET_UNITY_BUILD="${LINNET_UNITY_BUILD:-OFF}" \
    -DLINNET_LINE_TABLES_ONLY="${LINNET_LINE_TABLES_ONLY:-OFF}" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
