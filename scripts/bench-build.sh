#!/bin/sh
# Build benchmark: generate_corpus + compile + entropy worker for 1,000,000
# persons and 400,000 papers (override with PERSONS/PAPERS/SEED), with phase
# times and peak resident memory. Usage: scripts/bench-build.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -x "$build/bench/build_bench" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target build_bench
fi
"$build/bench/build_bench" "${PERSONS:-1000000}" "${PAPERS:-400000}" "${SEED:-42}"
