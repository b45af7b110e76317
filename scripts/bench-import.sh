#!/bin/sh
# Import benchmark: exports the corpus of 1,000,000 persons and 400,000
# papers (override with PERSONS/PAPERS/SEED) as CSV into a new directory
# under /tmp, then times the Neo4j export import of it in a fresh process:
# input MB/s and peak resident memory against the imported graph's own
# footprint. With SPLIT=N, also cuts the export into neo4j-admin file
# groups of a header file and N data files each and imports them beside
# the single pair, alternately, twice each (each in a fresh process):
# MB/s and peak memory of both. The export is removed afterwards.
# Usage: [SPLIT=8] scripts/bench-import.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target import_bench
work="$(mktemp -d /tmp/halvex-import-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT INT TERM
"$build/bench/import_bench" export "$work/export" "${PERSONS:-1000000}" "${PAPERS:-400000}" "${SEED:-42}"
"$build/bench/import_bench" import "$work/export"
if [ -n "${SPLIT:-}" ]; then
  "$build/bench/import_bench" split "$work/export" "$SPLIT"
  for round in 1 2; do
    "$build/bench/import_bench" groups "$work/export" 1
    "$build/bench/import_bench" groups "$work/export" "$SPLIT"
  done
fi
