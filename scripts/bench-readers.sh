#!/bin/sh
# Read statements in parallel: wrk drives POST /v1/query on
# `orvane serve --ephemeral` with a generated graph (PERSONS, default
# 200000) with 1, 2 and 16 connections, each run DURATION seconds (default
# 10), then the same three while one more connection writes continuously
# (a CREATE of one node and one relationship per request), then 1 and 2
# clients beside a writer of large statements (5,000 nodes each), where a
# reader that waited for each write would all but stop. Prints reads per
# second, the ratio to one client, and what the writes cost the reads.
# Installs wrk from Debian when it is missing. Not part of `make test`.
#
#   scripts/bench-readers.sh [BUILD_DIR]
#
# ORVANE (a binary to measure instead of BUILD_DIR's), PERSONS, DURATION
# and PORT can be set in the environment; with LOGGED=1 the server keeps
# its graph in a file (`serve --db`), so every write is committed to the
# write-ahead log and made durable before it is answered.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
persons="${PERSONS:-200000}"
duration="${DURATION:-10}"
port="${PORT:-17474}"

if ! command -v wrk >/dev/null; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get install -y wrk >/dev/null
fi
if [ -n "${ORVANE:-}" ]; then
  orvane="$ORVANE"
else
  cmake --build "$build" --target orvane >/dev/null
  orvane="$build/orvane"
fi

work="$(mktemp -d)"
server_pid=""
writer_pid=""
cleanup() {
  [ -n "$writer_pid" ] && kill "$writer_pid" 2>/dev/null && wait "$writer_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A wrk script that POSTs a statement (its text as JSON string content)
# with $id a random person's id.
lua_for() {  # statement file
  cat > "$2" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
request = function()
  local id = math.random(0, $persons - 1)
  return wrk.format(nil, "/v1/query", nil, '{"query": "$1", "params": {"id": ' .. id .. '}}')
end
LUA
}
# A point read: a person and the people it follows. A write: a new person
# that one follows.
lua_for 'MATCH (p:Person {id: $id})-[:FOLLOWS]->(f) RETURN f.name LIMIT 10' "$work/read.lua"
lua_for "MATCH (p:Person {id: \$id}) CREATE (p)-[:FOLLOWS]->(:Person {name: \\'w\\'})" "$work/write.lua"
lua_for 'UNWIND range(1, 5000) AS i CREATE (:Bulk {i: i})' "$work/bulk.lua"

keep="--ephemeral"
[ "${LOGGED:-0}" = 1 ] && keep="--db $work/g.orv"
# shellcheck disable=SC2086 # $keep is one or two words
"$orvane" serve $keep --people "$persons" --port "$port" --no-bolt >"$work/server.log" 2>&1 &
server_pid=$!
tries=0
until curl -s "http://127.0.0.1:$port/v1/health" >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ "$tries" -lt 600 ] || { echo "bench-readers: the server did not start"; cat "$work/server.log"; exit 1; }
  sleep 0.2
done

rate() {  # connections → reads per second (non-2xx answers are an error)
  out="$(wrk -t "$1" -c "$1" -d "${duration}s" -s "$work/read.lua" "http://127.0.0.1:$port")"
  if echo "$out" | grep -q "Non-2xx"; then echo "bench-readers: failed reads: $out" >&2; exit 1; fi
  echo "$out" | awk '/Requests\/sec/ {print $2}'
}

# One line: reads per second with $1 clients alone, then beside one more
# client running the writes of $2 (a wrk script), the writes' rate shown
# with the words $3.
beside() {
  alone="$(rate "$1")"
  wrk -t 1 -c 1 -d "$((duration + 4))s" -s "$2" "http://127.0.0.1:$port" >"$work/writes.txt" &
  writer_pid=$!
  sleep 2
  writing="$(rate "$1")"
  wait "$writer_pid"
  writer_pid=""
  [ -n "$one" ] || one="$alone"
  writes="$(awk '/Requests\/sec/ {print $2}' "$work/writes.txt")"
  awk -v c="$1" -v a="$alone" -v o="$one" -v w="$writing" -v ws="$writes" -v what="$3" \
    'BEGIN { printf "%-10s %14.0f %10.2f %16.0f %9.0f%%   (%.1f %s)\n", c, a, a / o, w, 100 * w / a, ws, what }'
}

echo "orvane serve ${keep%% *}, $persons persons, ${duration} s per run"
printf '%-10s %14s %10s %16s %10s\n' clients "reads/s" "vs one" "reads/s writing" "kept"
one=""
for clients in 1 2 16; do beside "$clients" "$work/write.lua" "writes/s"; done
for clients in 1 2; do beside "$clients" "$work/bulk.lua" "writes/s of 5,000 nodes"; done
