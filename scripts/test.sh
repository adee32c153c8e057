#!/usr/bin/env bash
# Installs what is missing, builds, and runs everything that checks the program: the package
# checks, the fuzzers, the tests built with sanitizers, and the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
build=${LINNET_BUILD_DIR:-$root/build}
export QT_QPA_PLATFORM=offscreen
"$root/scripts/package-check.sh"
"$root/scripts/fuzz.sh"
"$root/scripts/sanitize.sh"
# Last, so that its summary closes the run.
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
