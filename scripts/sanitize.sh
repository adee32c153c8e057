#!/usr/bin/env bash
# Runs the tests of the checked build (scripts/checked-build.sh, which this builds first) under
# AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the run. Tests that go through
# whole tables or floods take a share of them there, and leave their time and memory bounds to the
# plain run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_CHECKED_BUILD_DIR:-$root/build-checked}
"$root/scripts/checked-build.sh"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
