#!/bin/sh
# HTTP load benchmark, on loopback, with nginx beside the server in the same
# run (nginx's keep-alive rate runs before and after the server's, so a
# change in the machine's load shows). Installs wrk and nginx from Debian
# packages. Two parts:
#
# 1. Rate: wrk against the HTTP core (bench/http_bench) serving a static file
#    and answering an API path with 404, and against nginx serving the same
#    file, each with keep-alive and with "Connection: close" (a new
#    connection per request). Reports requests per second, socket errors,
#    non-2xx counts and the core's RSS after each run.
# 2. Latency under held connections: scripts/hold_connections.py holds IDLE
#    connections that send nothing and TRICKLE ones that send a header a byte
#    a second, while wrk (1 thread, 4 connections) measures p50 and p99 of
#    /v1/health on `orvane serve --ephemeral`, and then of nginx's file under
#    the same held load.
#
# Usage: scripts/bench-http.sh [BUILD_DIR]
#   DURATION (seconds per rate run, default 30), LATENCY_SECONDS (15),
#   CONNECTIONS (64), THREADS (2), FILE_BYTES (size of the served file,
#   4096), IDLE (1000), TRICKLE (100)
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
duration="${DURATION:-30}"
connections="${CONNECTIONS:-64}"
threads="${THREADS:-2}"
file_bytes="${FILE_BYTES:-4096}"
latency_seconds="${LATENCY_SECONDS:-15}"
idle="${IDLE:-1000}"
trickle="${TRICKLE:-100}"

need_install=0
command -v wrk >/dev/null || need_install=1
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need_install=1
if [ "$need_install" -eq 1 ]; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get install -y wrk nginx-light >/dev/null 2>&1 || $as_root apt-get install -y wrk nginx >/dev/null
  # A package install may start the system's nginx service; stop that one
  # instance (by its pid file), since this script runs nginx on its own terms.
  if [ -s /run/nginx.pid ]; then $as_root kill "$(cat /run/nginx.pid)" 2>/dev/null || true; fi
fi
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target http_bench orvane -j 2 >/dev/null

work="$(mktemp -d)"
server_pid=""
nginx_pid=""
holder_pid=""
cleanup() {
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null && wait "$holder_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/web" "$work/nginx/logs"
head -c "$file_bytes" /dev/zero | tr '\0' 'x' >"$work/web/bench.html"

rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# Runs wrk on URL (with any further wrk arguments) and prints one summary
# line: label, rate, errors, non-2xx.
run_wrk() {
  label="$1"
  url="$2"
  shift 2
  out="$(wrk -t "$threads" -c "$connections" -d "${duration}s" "$@" "$url" 2>&1)"
  rate="$(echo "$out" | awk '/Requests\/sec/ {print $2}')"
  total="$(echo "$out" | awk '/requests in/ {print $1}')"
  errors="$(echo "$out" | awk '/Socket errors/ {sub(/^ *Socket errors: /, ""); print}')"
  non2xx="$(echo "$out" | awk '/Non-2xx/ {print $NF}')"
  printf '%-34s %10s req/s  %9s requests  socket errors: %s  non-2xx: %s\n' \
    "$label" "$rate" "$total" "${errors:-none}" "${non2xx:-0}"
}

# Holds the slow clients against PORT, then measures URL's latency with wrk
# and prints label, p50, p99 and the rate; the holder stops by itself
# LATENCY_SECONDS + 3 s after it started.
held_latency() {
  label="$1"
  port="$2"
  url="$3"
  python3 scripts/hold_connections.py "$port" --idle "$idle" --trickle "$trickle" \
    --seconds "$((latency_seconds + 3))" >"$work/holder.out" 2>&1 &
  holder_pid=$!
  for _ in $(seq 100); do grep -q holding "$work/holder.out" && break; sleep 0.1; done
  held="$(head -n 1 "$work/holder.out")"
  out="$(wrk -t 1 -c 4 -d "${latency_seconds}s" --latency "$url" 2>&1)"
  p50="$(echo "$out" | awk '$1 == "50%" {print $2}')"
  p99="$(echo "$out" | awk '$1 == "99%" {print $2}')"
  rate="$(echo "$out" | awk '/Requests\/sec/ {print $2}')"
  errors="$(echo "$out" | awk '/Socket errors/ {sub(/^ *Socket errors: /, ""); print}')"
  wait "$holder_pid" 2>/dev/null || true  # it stops by itself and reports how often it was cut
  holder_pid=""
  printf '%-34s p50 %9s  p99 %9s  %9s req/s  socket errors: %s  (%s; %s)\n' \
    "$label" "$p50" "$p99" "$rate" "${errors:-none}" "${held:-holder did not report}" \
    "$(tail -n 1 "$work/holder.out")"
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"
echo "wrk: $threads threads, $connections connections, ${duration}s per rate run; file $file_bytes bytes"

nginx_port="$(free_port)"
cat >"$work/nginx/nginx.conf" <<CONF
user $(id -un);
worker_processes auto;
worker_rlimit_nofile 16384;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 8192; }
http {
  access_log off;
  keepalive_timeout 65;
  keepalive_requests 1000000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/web;
  }
}
CONF
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
sleep 1
echo "== requests per second =="
run_wrk "nginx static, keep-alive" "http://127.0.0.1:$nginx_port/bench.html"
run_wrk "nginx static, Connection: close" "http://127.0.0.1:$nginx_port/bench.html" -H "Connection: close"

"$build/bench/http_bench" "$work/web" 0 >"$work/port" &
server_pid=$!
while [ ! -s "$work/port" ]; do sleep 0.1; done
port="$(head -n 1 "$work/port")"
echo "http_bench (pid $server_pid, port $port): RSS at start $(rss_kib "$server_pid") KiB"
run_wrk "core static, keep-alive" "http://127.0.0.1:$port/bench.html"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
run_wrk "core static, Connection: close" "http://127.0.0.1:$port/bench.html" -H "Connection: close"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
run_wrk "core 404 API path, keep-alive" "http://127.0.0.1:$port/v1/none"
run_wrk "core 404 API path, Connection: close" "http://127.0.0.1:$port/v1/none" -H "Connection: close"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
kill "$server_pid"
wait "$server_pid" || true
server_pid=""
run_wrk "nginx static, keep-alive, after" "http://127.0.0.1:$nginx_port/bench.html"

echo "== latency while $idle idle and $trickle trickling connections are held (${latency_seconds}s each) =="
serve_port="$(free_port)"
"$build/orvane" serve --ephemeral --port "$serve_port" --no-bolt >"$work/serve.out" 2>&1 &
server_pid=$!
for _ in $(seq 300); do
  python3 - "$serve_port" <<'PY' 2>/dev/null && break
import socket, sys
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=1) as s:
    s.sendall(b"GET /v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
    sys.exit(0 if s.recv(64).startswith(b"HTTP/1.1 200 ") else 1)
PY
  sleep 0.1
done
held_latency "orvane serve /v1/health" "$serve_port" "http://127.0.0.1:$serve_port/v1/health"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
kill "$server_pid"
wait "$server_pid" || true
server_pid=""
held_latency "nginx static file" "$nginx_port" "http://127.0.0.1:$nginx_port/bench.html"

kill "$nginx_pid"
wait "$nginx_pid" || true
nginx_pid=""
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
