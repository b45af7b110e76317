#!/bin/sh
# Snapshot benchmark: save_snapshot and load_snapshot of the corpus of
# 1,000,000 persons and 400,000 papers (override with PERSONS/PAPERS/SEED)
# against sha256sum of the same file, best of ROUNDS (default 3), with MB/s
# and the ratios save/sha256 and load/sha256. The file goes to BENCH_DIR
# (default /tmp) and is removed afterwards.
# Usage: scripts/bench-snapshot.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -x "$build/bench/snapshot_bench" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target snapshot_bench >/dev/null
"$build/bench/snapshot_bench" "${PERSONS:-1000000}" "${PAPERS:-400000}" "${SEED:-42}" \
  "${BENCH_DIR:-/tmp}/orvane-snapshot-bench-$$.orv" "${ROUNDS:-3}"
