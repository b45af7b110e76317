#!/bin/sh
# Write latency in process: the four writes users make all day, each run
# COUNT times (default 20) as statements of one `orvane query` input on a
# generated graph held in memory (saved once, after the last, to a scratch
# file), so no statement waits for a save and each statement's own time
# (PROFILE's "ns": planning, running, and making the graph readable again)
# is what is measured. Prints the median and the
# 90th percentile of each in microseconds, and the time of a read before
# and after the writes. Not part of `make test`.
#
#   scripts/bench-writes.sh [BUILD_DIR] [PERSONS]
#
# PERSONS defaults to 1000000; COUNT and ORVANE (a binary to measure
# instead of BUILD_DIR's) can be set in the environment.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
persons="${2:-1000000}"
count="${COUNT:-20}"
if [ -n "${ORVANE:-}" ]; then
  orvane="$ORVANE"
else
  cmake --build "$build" --target orvane >/dev/null
  orvane="$build/orvane"
fi

python3 - "$orvane" "$persons" "$count" <<'PY'
import json, os, random, statistics, subprocess, sys, tempfile

orvane, persons, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(7)
read = "MATCH (p:Person) WHERE p.topic = 3 RETURN count(*)"
kinds = [
    ("create node", lambda i: f"CREATE (:Person {{name: 'bench-{i}'}})"),
    ("set property", lambda i: f"MATCH (p:Person {{id: {rng.randrange(persons)}}}) SET p.score = {i}"),
    ("create relationship", lambda i: f"MATCH (a {{id: {rng.randrange(persons)}}}), (b {{id: {rng.randrange(persons)}}}) "
                                      "CREATE (a)-[:FOLLOWS]->(b)"),
    ("detach delete", lambda i: f"MATCH (p {{id: {rng.randrange(persons // 2, persons)}}}) DETACH DELETE p"),
]
# PROFILE makes each answer carry its statement's time.
statements = ["PROFILE " + read] * 2
spans = []
for name, make in kinds:
    spans.append((name, len(statements), count))
    statements += ["PROFILE " + make(i) for i in range(count)]
statements += ["PROFILE " + read] * 2
# The graph is written to a scratch file once, after every statement ran.
with tempfile.TemporaryDirectory() as scratch:
    run = subprocess.run([orvane, "query", "--people", str(persons), "--out", os.path.join(scratch, "g.orv"),
                          "--gql", ";\n".join(statements)], capture_output=True, text=True)
answer = run.stdout
if run.returncode != 0:
    sys.exit("bench-writes: " + run.stderr[:2000])
ns = [json.loads(line)["ns"] for line in answer.splitlines() if line.startswith("{")]
if len(ns) != len(statements):
    sys.exit("bench-writes: expected one answer per statement: " + answer[:2000])
print(f"{persons} persons, {count} statements of each kind, in process, no save between them")
print(f"{'statement':<22}{'median µs':>12}{'p90 µs':>12}")
for name, start, n in spans:
    times = sorted(ns[start:start + n])
    print(f"{name:<22}{statistics.median(times) / 1000:>12.1f}{times[int(0.9 * (n - 1))] / 1000:>12.1f}")
print(f"read before the writes: {min(ns[0:2]) / 1e6:.2f} ms; after: {min(ns[-2:]) / 1e6:.2f} ms")
PY
