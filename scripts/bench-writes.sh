#!/bin/sh
# Write latency in process: the four writes users make all day, each run
# COUNT times (default 20) as statements of one `orvane query` input on a
# generated graph held in memory (saved once, after the last, to a scratch
# file), so no statement waits for a save and each statement's own time
# (PROFILE's "ns": planning, running, and making the graph readable again)
# is what is measured. Prints the median and the
# 90th percentile of each in microseconds. Then BULK (default 100000) more
# writes of the four kinds, four statements that write many each, and the time of
# three reads (a filtered label scan, a two-hop expansion, a label count)
# before the writes, over the writes' delta, and after the delta is folded;
# the fold's own time is that of a document read that folds it less the
# same read after. Not part of `make test`.
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

python3 - "$orvane" "$persons" "$count" "${BULK:-100000}" <<'PY'
import json, os, random, statistics, subprocess, sys, tempfile, time

orvane, persons, count, bulk = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(7)
reads = [
    ("filtered label scan", "MATCH (p:Person) WHERE p.topic = 3 RETURN count(*)"),
    ("two-hop expansion", "MATCH (p:Person)-[:FOLLOWS]->()-[:FOLLOWS]->(q) WHERE p.topic = 3 RETURN count(q)"),
    ("label count", "MATCH (p:Person) RETURN count(p)"),
]
kinds = [
    ("create node", lambda i: f"CREATE (:Person {{name: 'bench-{i}'}})"),
    ("set property", lambda i: f"MATCH (p:Person {{id: {rng.randrange(persons)}}}) SET p.score = {i}"),
    ("create relationship", lambda i: f"MATCH (a {{id: {rng.randrange(persons)}}}), (b {{id: {rng.randrange(persons)}}}) "
                                      "CREATE (a)-[:FOLLOWS]->(b)"),
    ("detach delete", lambda i: f"MATCH (p {{id: {rng.randrange(persons // 2, persons)}}}) DETACH DELETE p"),
]
k = bulk // 4
# Spread over the graph without a seek per row: a scan of each kind.
bulk_writes = [
    f"UNWIND range(1, {k}) AS i CREATE (:Person {{name: 'bulk-' + i}})",
    f"MATCH (p:Person) WHERE p.topic = 1 WITH p LIMIT {k} SET p.score = 1",
    f"MATCH (a:Person) WHERE a.topic = 2 WITH a LIMIT {k} MATCH (b:Person {{id: 5}}) CREATE (a)-[:FOLLOWS]->(b)",
    f"MATCH (p:Person) WHERE p.topic = 4 WITH p LIMIT {k} DETACH DELETE p",
]

def run(statements):
    """Runs the statements as one input; their answers and the wall time."""
    with tempfile.TemporaryDirectory() as scratch:
        started = time.monotonic()
        done = subprocess.run([orvane, "query", "--people", str(persons), "--out", os.path.join(scratch, "g.orv"),
                               "--gql", ";\n".join(statements)], capture_output=True, text=True)
        seconds = time.monotonic() - started
    if done.returncode != 0:
        sys.exit("bench-writes: " + done.stderr[:2000])
    answers = [json.loads(line) for line in done.stdout.splitlines() if line.startswith("{")]
    return answers, seconds

def profiled(text):
    return ["PROFILE " + text] * 2

statements, spans, marks = [], [], {}
for phase in ("before", "over the delta"):
    for name, text in reads:
        marks[(phase, name)] = len(statements)
        statements += profiled(text)
    if phase == "before":
        for name, make in kinds:
            spans.append((name, len(statements), count))
            statements += ["PROFILE " + make(i) for i in range(count)]
        statements += bulk_writes
# The schema document reads the compiled arrays alone: the first folds the
# delta, the second finds nothing to fold.
marks["fold"] = len(statements)
statements += ["PROFILE CALL db.schema.visualization()"] * 2
for name, text in reads:
    marks[("folded", name)] = len(statements)
    statements += profiled(text)
answers, _ = run(statements)
ns = [a.get("ns") for a in answers]
print(f"{persons} persons, {count} statements of each kind, in process, no save between them")
print(f"{'statement':<22}{'median µs':>12}{'p90 µs':>12}")
for name, start, n in spans:
    times = sorted(ns[start:start + n])
    print(f"{name:<22}{statistics.median(times) / 1000:>12.1f}{times[int(0.9 * (n - 1))] / 1000:>12.1f}")
print(f"\nreads (ms, best of two) before and after {4 * k} more writes, unfolded and folded")
print(f"{'read':<22}{'before':>10}{'delta':>10}{'folded':>10}{'delta/before':>14}")
for name, _ in reads:
    t = {phase: min(ns[marks[(phase, name)]:marks[(phase, name)] + 2]) / 1e6 for phase in ("before", "over the delta", "folded")}
    print(f"{name:<22}{t['before']:>10.2f}{t['over the delta']:>10.2f}{t['folded']:>10.2f}{t['over the delta'] / t['before']:>14.2f}")
fold = ns[marks["fold"]] - ns[marks["fold"] + 1]
print(f"\nfold of the delta: {fold / 1e6:.1f} ms (a document read that folds it, less the same read after)")
PY
