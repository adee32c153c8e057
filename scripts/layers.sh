#!/usr/bin/env bash
# Writes the layer table in docs/architecture.md and docs/layers.dot from tests/layers.cmake, and
# draws docs/layers.svg from the graph, each use that follows from others left out (tred), laid
# out by dot (Debian package graphviz).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -DSOURCE_DIR="$root" -DMODE=write -P "$root/tests/layer_docs.cmake"
tred "$root/docs/layers.dot" | dot -Tsvg -o "$root/docs/layers.svg"
echo "wrote $root/docs/layers.svg"
