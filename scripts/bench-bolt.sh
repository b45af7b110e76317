#!/bin/sh
# Bolt through Neo4j's own JavaScript driver (neo4j-driver from the build's
# npm packages), on `orvane serve --ephemeral` with a generated graph
# (PERSONS, default 1000000):
#   1. the round trip of `RETURN 1`, one `session.run` after another,
#      beside the same statement as POST /v1/query on a kept-alive HTTP
#      connection: p50, p99 and Bolt's p50 over HTTP's, and the driver's
#      own floor: the same loop against a server that answers at once;
#   2. the same for a one-hop count from a person chosen by id;
#   3. rows per second of a 1,000,000-row result read with `for await`,
#      best of 3, beside the same driver reading the same bytes from
#      bolt_replay_server.js, a Bolt server that recorded our answer once
#      and plays it back doing nothing else: the ratio is the share of the
#      driver's own ceiling that we reach.
# scripts/bench_bolt.js is the client and prints the table. Not part of
# `make test`.
#
#   scripts/bench-bolt.sh [BUILD_DIR]
#
# ORVANE (a binary to measure instead of BUILD_DIR's), PERSONS, ITERATIONS
# (default 2000), ROWS (default 1000000), PORT (HTTP), BOLT_PORT and
# REPLAY_PORT can be set in the environment. A million persons take about
# 3 GB and some seconds to generate; the server is given ten minutes.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
persons="${PERSONS:-1000000}"
iterations="${ITERATIONS:-2000}"
rows="${ROWS:-1000000}"
port="${PORT:-17494}"
bolt_port="${BOLT_PORT:-17697}"
replay_port="${REPLAY_PORT:-17698}"

if [ -n "${ORVANE:-}" ]; then
  orvane="$ORVANE"
else
  cmake --build "$build" --target orvane >/dev/null
  orvane="$build/orvane"
fi
modules="$build/npm/node_modules"
if [ ! -d "$modules/neo4j-driver" ]; then
  echo "bench-bolt: neo4j-driver is not installed in $modules: build first (cmake --build $build)" >&2
  exit 1
fi

work="$(mktemp -d)"
server_pid=""
replay_pid=""
client_pid=""
# Under set -e a killed child's non-zero wait would end the cleanup before
# the server is stopped, so errors are off here.
cleanup() {
  set +e
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null && wait "$client_pid" 2>/dev/null
  [ -n "$replay_pid" ] && kill "$replay_pid" 2>/dev/null && wait "$replay_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "bench-bolt: starting orvane serve with $persons persons (HTTP $port, Bolt $bolt_port)"
"$orvane" serve --ephemeral --people "$persons" --no-fabric --port "$port" --bolt-port "$bolt_port" \
  >"$work/server.log" 2>&1 &
server_pid=$!
# Up to ten minutes, in half seconds; a server that has exited is not
# waited for.
tries=0
until [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/v1/health" 2>/dev/null)" = 200 ]; do
  tries=$((tries + 1))
  if ! kill -0 "$server_pid" 2>/dev/null; then
    wait "$server_pid" || true
    server_pid=""
    echo "bench-bolt: the server exited before it answered /v1/health:" >&2
    cat "$work/server.log" >&2
    exit 1
  fi
  if [ "$tries" -ge 1200 ]; then
    echo "bench-bolt: the server did not answer /v1/health within 10 minutes:" >&2
    cat "$work/server.log" >&2
    exit 1
  fi
  sleep 0.5
done
echo "bench-bolt: the server answered after about $((tries / 2)) s"

# The replay server records our answers to `RETURN 1` and to the stream
# once, then listens.
NODE_PATH="$modules" node scripts/bolt_replay_server.js --port "$replay_port" --record-from "$bolt_port" \
  --query "UNWIND range(1, $rows) AS i RETURN i" >"$work/replay.log" 2>&1 &
replay_pid=$!
tries=0
until grep -q '^listening' "$work/replay.log"; do
  tries=$((tries + 1))
  if ! kill -0 "$replay_pid" 2>/dev/null || [ "$tries" -ge 600 ]; then
    echo "bench-bolt: the replay server did not start:" >&2
    cat "$work/replay.log" >&2
    exit 1
  fi
  sleep 0.2
done
echo "bench-bolt: replay server $(cat "$work/replay.log")"
echo

# In the background and waited for, so that an interrupt is acted on at
# once rather than when the client is done.
HTTP_PORT="$port" BOLT_PORT="$bolt_port" REPLAY_PORT="$replay_port" PERSONS="$persons" \
  ITERATIONS="$iterations" ROWS="$rows" NODE_PATH="$modules" node scripts/bench_bolt.js &
client_pid=$!
wait "$client_pid"
client_pid=""
