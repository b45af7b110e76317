#!/bin/sh
# Analytics figures, compared as ratios within one run on one machine:
#  1. entropy-lab at 1,000,000 persons / 400,000 papers, mess 3: hop3_speedup
#     (target above 1.3) and identical answers before and after optimizing.
#  2. top-k retrieval over the corpus's 1,400,000 32-dimensional embeddings
#     against a streaming read of that same array with the same thread count,
#     1 and 2 threads (bench/analytics_bench.cpp; target: at least half the
#     streaming bandwidth). retrieve_top_k filters by label, so it is timed
#     for Person (1,000,000 of the nodes) and, through the same scorer, over
#     every row; the dimension sweep behind dim-stress is timed as well.
#  3. hop_reach from the hub over FOLLOWS at full size, 1 and 2 threads, where
#     the middle levels exceed 16384 entries and expand in parallel:
#     relationships scanned per second, with counts checked across threads.
# Steps 2 and 3 run REPEAT times (default 3), since other work on the machine
# moves single figures; compare ratios within a run, not across runs.
# Usage: scripts/bench-analytics.sh [BUILD_DIR] [PEOPLE] [PAPERS]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build-analytics}"
people="${2:-1000000}"
papers="${3:-400000}"
repeat="${REPEAT:-3}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orvane analytics_bench >/dev/null
bin="$build/orvane"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

echo "== entropy-lab --people $people --papers $papers --mess 3"
"$bin" entropy-lab --people "$people" --papers "$papers" --mess 3 --json "$out/lab.json" >/dev/null
grep -E '"(hop3_speedup|identical|answers_identical)"' "$out/lab.json" || cat "$out/lab.json"

run=1
while [ "$run" -le "$repeat" ]; do
  echo "== analytics_bench run $run of $repeat (retrieval vs streaming, hop_reach)"
  "$build/bench/analytics_bench" "$people" "$papers" 7 | tee "$out/bench$run.txt"
  # The CLI path of the dimension sweep (OMP_NUM_THREADS, or every hardware
  # thread), against the two-thread streaming figure measured just before.
  "$bin" dim-stress --n $((people + papers)) --dims 32 --k 10 --iters 5 --json "$out/dim.json" > "$out/dim.txt"
  cpu_ms="$(awk '$1 == "32" { print $2 }' "$out/dim.txt")"
  bw="$(awk -F'[= ]' '/^threads=2 stream_plain_gbs/ { for (i = 1; i < NF; i++) if ($i == "stream_gbs") print $(i + 1) }' "$out/bench$run.txt")"
  awk -v ms="$cpu_ms" -v bw="$bw" -v rows=$((people + papers)) 'BEGIN {
    gbs = rows * 32 * 4 / (ms / 1000) / 1e9;
    printf "dim_stress_cli_ms=%.3f dim_stress_cli_gbs=%.3f stream_2t_gbs=%.3f ratio=%.3f\n", ms, gbs, bw, gbs / bw }'
  run=$((run + 1))
done

echo "== summary over $repeat runs (min / max)"
cat "$out"/bench*.txt | awk '
  function keep(name, v) { if (!(name in lo) || v < lo[name]) lo[name] = v; if (!(name in hi) || v > hi[name]) hi[name] = v
                           if (!(name in seen)) { seen[name] = 1; order[++n] = name } }
  /^threads=/ {
    t = substr($1, 9); what = ""
    for (i = 2; i <= NF; i++) {
      split($i, kv, "=")
      if (kv[1] ~ /_gbs$|_ms$|edges_per_s$/) what = kv[1]
      if (kv[1] == "ratio") keep(t "t " what "/stream", kv[2])
      if (kv[1] == "stream_gbs" || kv[1] == "edges_per_s" || kv[1] == "retrieve_person_gbs" || kv[1] == "score_all_gbs") keep(t "t " kv[1], kv[2])
    }
  }
  /^hop_reach_2t_over_1t=/ { split($1, kv, "="); keep("hop_reach 2t/1t", kv[2]) }
  /^stream_2t_over_1t=/ { split($1, kv, "="); keep("stream 2t/1t", kv[2]) }
  /MISMATCH|FAILED/ { bad = 1 }
  END {
    for (i = 1; i <= n; i++) printf "%-36s %14.3f %14.3f\n", order[i], lo[order[i]], hi[order[i]]
    print bad ? "counts DIFFER between thread counts" : "counts identical across thread counts in every run"
  }'
