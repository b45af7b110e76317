#!/bin/sh
# Durable commits through the write-ahead log, against the peers of the
# same disk in the same run:
#   1. in process (bench/commit_bench.cpp): a one-node CREATE's commit
#      latency beside fdatasync of a 100-byte append, the rate of commits
#      from 1 and 16 threads (group commit) with and without fsync, and the
#      replay time of a log of REPLAY statements;
#   2. SQLite in WAL mode with synchronous=FULL, one row per transaction
#      (Python's sqlite3 module over Debian's libsqlite3): p50, p99 and
#      commits per second;
#   3. over HTTP on `orvane serve --db`: one client's commit latency (p50,
#      p99), and commits per second from 16 wrk connections, beside the
#      same server started with --no-sync.
# Not part of `make test`.
#
#   scripts/bench-wal.sh [BUILD_DIR]
#
# PERSONS (default 1000000), COMMITS (default 2000), REPLAY (default
# 100000), DIR (a folder on the disk to measure, default /tmp), DURATION
# (wrk seconds, default 10) and PORT can be set in the environment.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
persons="${PERSONS:-1000000}"
commits="${COMMITS:-2000}"
replay="${REPLAY:-100000}"
duration="${DURATION:-10}"
port="${PORT:-17484}"
base="${DIR:-/tmp}"

if ! command -v wrk >/dev/null; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get install -y wrk >/dev/null
fi
cmake --build "$build" --target orvane commit_bench >/dev/null
work="$(mktemp -d "$base/orvane-bench-wal-XXXXXX")"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

echo "== in process"
"$build/bench/commit_bench" "$persons" "$commits" "$replay" "$work"

echo
echo "== SQLite, WAL, synchronous=FULL, one row per transaction"
python3 - "$work/sqlite.db" "$commits" <<'PY'
import sqlite3, statistics, sys, time
path, n = sys.argv[1], int(sys.argv[2])
db = sqlite3.connect(path, isolation_level=None)
db.execute("PRAGMA journal_mode=WAL")
db.execute("PRAGMA synchronous=FULL")
db.execute("CREATE TABLE person (id INTEGER PRIMARY KEY, name TEXT)")
times = []
started = time.perf_counter()
for i in range(n):
    t = time.perf_counter()
    db.execute("BEGIN")
    db.execute("INSERT INTO person (name) VALUES (?)", (f"c{i}",))
    db.execute("COMMIT")
    times.append((time.perf_counter() - t) * 1e6)
rate = n / (time.perf_counter() - started)
times.sort()
print(f"p50 {statistics.median(times):.0f} µs, p99 {times[int(0.99 * (n - 1))]:.0f} µs, {rate:.0f} commits/s")
PY

cat > "$work/write.lua" <<'LUA'
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
counter = 0
request = function()
  counter = counter + 1
  return wrk.format(nil, "/v1/query", nil, '{"query": "CREATE (:Person {name: $n})", "params": {"n": "w' .. counter .. '"}}')
end
LUA

serve() {  # extra flags
  rm -f "$work"/g.orv*
  "$build/orvane" serve --db "$work/g.orv" --people "$persons" --port "$port" --no-bolt "$@" >"$work/server.log" 2>&1 &
  server_pid=$!
  tries=0
  until curl -s "http://127.0.0.1:$port/v1/health" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 1200 ] || { echo "bench-wal: the server did not start"; cat "$work/server.log"; exit 1; }
    sleep 0.25
  done
}
stop() {
  kill "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}
rate16() {
  out="$(wrk -t 2 -c 16 -d "${duration}s" -s "$work/write.lua" "http://127.0.0.1:$port")"
  if echo "$out" | grep -q "Non-2xx"; then echo "bench-wal: failed writes: $out" >&2; exit 1; fi
  echo "$out" | awk '/Requests\/sec/ {print $2}'
}

echo
echo "== over HTTP, orvane serve --db, $persons persons"
serve
python3 - "$port" "$commits" <<'PY'
import http.client, json, statistics, sys, time
port, n = int(sys.argv[1]), int(sys.argv[2])
c = http.client.HTTPConnection("127.0.0.1", port)
times = []
for i in range(n):
    body = json.dumps({"query": "CREATE (:Person {name: $n})", "params": {"n": f"h{i}"}})
    t = time.perf_counter()
    c.request("POST", "/v1/query", body, {"Content-Type": "application/json"})
    r = c.getresponse()
    r.read()
    times.append((time.perf_counter() - t) * 1000)
    if r.status != 200:
        sys.exit(f"bench-wal: a write failed with {r.status}")
times.sort()
print(f"one client: p50 {statistics.median(times):.2f} ms, p99 {times[int(0.99 * (n - 1))]:.2f} ms")
PY
synced="$(rate16)"
stop
serve --no-sync
unsynced="$(rate16)"
stop
awk -v s="$synced" -v u="$unsynced" \
  'BEGIN { printf "16 clients: %.0f commits/s with fsync, %.0f with --no-sync (%.0f%%)\n", s, u, 100 * s / u }'
