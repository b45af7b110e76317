#!/bin/sh
# Query benchmark: step rate at the work limit and the three benchmark
# statements on the default corpus. Usage: scripts/bench-query.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target query_bench >/dev/null
"$build/bench/query_bench"
