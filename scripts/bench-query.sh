#!/bin/sh
# Query benchmark: time to the statement bound and the three benchmark
# statements (with the count rewrite and without it) on a generated corpus of PERSONS persons and PAPERS papers
# (default 20000 and 8000; at the size users have, PERSONS=1000000
# PAPERS=400000). Usage: scripts/bench-query.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target query_bench >/dev/null
"$build/bench/query_bench" "${PERSONS:-20000}" "${PAPERS:-8000}"
