#!/bin/sh
# Measures the browser console's graph drawing (its WebGL view, and the
# cytoscape view it replaced as the baseline, side by side) and its table view in headless Chromium
# against a real `orvane serve`. Not part of `make test`: the figures depend
# on the machine. Usage: scripts/bench-console.sh [BUILD_DIR]
# Environment: BENCH_NODES, BENCH_RELS, BENCH_ROWS change the sizes;
# BENCH_ONLY=cytoscape,console,table picks the parts (cytoscape is the view
# the WebGL one replaced, kept as the baseline); CHROMIUM names the browser.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
binary=${ORVANE_BINARY:-$build/orvane}
if [ ! -x "$binary" ]; then
  echo "no orvane binary at $binary: build first (cmake --build build)" >&2
  exit 1
fi
if [ ! -f "$build/share/halvex/web/vendor/graph_engine.js" ]; then
  echo "the npm packages are not installed in $build/npm: build first" >&2
  exit 1
fi
ORVANE_BINARY=$binary NODE_PATH=$build/npm/node_modules exec node "$root/tests/web/bench/console_bench.js"
