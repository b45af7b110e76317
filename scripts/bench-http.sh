#!/bin/sh
# HTTP load benchmark: wrk against the HTTP core (bench/http_bench) serving a
# static file and answering an API path with 404, and against nginx serving
# the same file with keep-alive off, on loopback, in the same run (nginx runs
# before and after the core, so a change in the machine's load shows). Reports
# requests per second, socket errors, non-2xx counts and the server's RSS
# before and after each run. Installs wrk and nginx from Debian packages.
#
# Usage: scripts/bench-http.sh [BUILD_DIR]
#   DURATION (seconds, default 30), CONNECTIONS (64), THREADS (2),
#   FILE_BYTES (size of the served file, 4096)
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
duration="${DURATION:-30}"
connections="${CONNECTIONS:-64}"
threads="${THREADS:-2}"
file_bytes="${FILE_BYTES:-4096}"

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
cmake --build "$build" --target http_bench -j 2 >/dev/null

work="$(mktemp -d)"
server_pid=""
nginx_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/web" "$work/nginx/logs"
head -c "$file_bytes" /dev/zero | tr '\0' 'x' >"$work/web/bench.html"

rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# Runs wrk on URL and prints one summary line: label, rate, errors, non-2xx.
run_wrk() {
  label="$1"
  url="$2"
  out="$(wrk -t "$threads" -c "$connections" -d "${duration}s" "$url" 2>&1)"
  rate="$(echo "$out" | awk '/Requests\/sec/ {print $2}')"
  total="$(echo "$out" | awk '/requests in/ {print $1}')"
  errors="$(echo "$out" | awk '/Socket errors/ {sub(/^ *Socket errors: /, ""); print}')"
  non2xx="$(echo "$out" | awk '/Non-2xx/ {print $NF}')"
  printf '%-22s %10s req/s  %9s requests  socket errors: %s  non-2xx: %s\n' \
    "$label" "$rate" "$total" "${errors:-none}" "${non2xx:-0}"
}

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"
echo "wrk: $threads threads, $connections connections, ${duration}s per run; file $file_bytes bytes"

nginx_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
cat >"$work/nginx/nginx.conf" <<CONF
user $(id -un);
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_timeout 0;
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
run_wrk "nginx static, before" "http://127.0.0.1:$nginx_port/bench.html"

"$build/bench/http_bench" "$work/web" 0 >"$work/port" &
server_pid=$!
while [ ! -s "$work/port" ]; do sleep 0.1; done
port="$(head -n 1 "$work/port")"
echo "http_bench (pid $server_pid, port $port): RSS at start $(rss_kib "$server_pid") KiB"
run_wrk "core static file" "http://127.0.0.1:$port/bench.html"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
run_wrk "core 404 API path" "http://127.0.0.1:$port/v1/none"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
run_wrk "core static again" "http://127.0.0.1:$port/bench.html"
echo "  RSS after: $(rss_kib "$server_pid") KiB"
kill "$server_pid"
wait "$server_pid" || true
server_pid=""

run_wrk "nginx static, after" "http://127.0.0.1:$nginx_port/bench.html"
kill "$nginx_pid"
wait "$nginx_pid" || true
nginx_pid=""
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
