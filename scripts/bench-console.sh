#!/bin/sh
# Measures the browser console's graph drawing (the cytoscape view and the
# WebGL candidate side by side) and its table view in headless Chromium
# against a real `orvane serve`. Not part of `make test`: the figures depend
# on the machine. Usage: scripts/bench-console.sh [BUILD_DIR]
# Environment: BENCH_NODES, BENCH_RELS, BENCH_ROWS change the sizes;
# BENCH_ONLY=cytoscape,sigma,table picks the parts; CHROMIUM names the browser.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
binary=${ORVANE_BINARY:-$build/orvane}
if [ ! -x "$binary" ]; then
  echo "no orvane binary at $binary: build first (cmake --build build)" >&2
  exit 1
fi
if [ ! -d "$build/npm/node_modules/esbuild" ]; then
  echo "the npm packages are not installed in $build/npm: build first" >&2
  exit 1
fi
ORVANE_BINARY=$binary NODE_PATH=$build/npm/node_modules exec node "$root/tests/web/bench/console_bench.js"
