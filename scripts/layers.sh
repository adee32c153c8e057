#!/usr/bin/env bash
# Draws docs/layers.svg: the program's own CMake targets and the arrows between them, from
# `cmake --graphviz`, laid out by dot (Debian package graphviz).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Only our own targets: no Qt or system libraries, no test, fuzzer or checking targets.
cat >"$work/CMakeGraphVizOptions.cmake" <<'OPTIONS'
set(GRAPHVIZ_GRAPH_NAME "linnet")
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_INTERFACE_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "^tst_" "^fuzz_" "^linnet-scanner-sim$" "^linnet_test_support" "^linnet_fake_prompts$"
                            "^signal_quit_child$" "^linnet-bench$" "^linnet_pty$")
OPTIONS
cmake -S "$root" -B "$work" -G Ninja --graphviz="$work/layers.dot" >/dev/null
# The legend explains every kind of target CMake knows; ours are executables and static libraries.
awk '/^subgraph clusterLegend/ {skip = 1} !skip {print} skip && /^}/ {skip = 0}' \
    "$work/layers.dot" >"$work/ours.dot"
dot -Tsvg "$work/ours.dot" -o "$root/docs/layers.svg"
echo "wrote $root/docs/layers.svg"
