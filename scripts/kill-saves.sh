#!/bin/sh
# Crash check of snapshot saving: kills `orvane snapshot` with SIGKILL at
# random moments, many times over, and after every kill checks that
#   - the target snapshot still loads (the old or the new file, never a
#     damaged one), and
#   - at most one temporary file of the target survives (the one the killed
#     save was writing; the next save removes it).
# Half of the kills land in the save itself: the delay is drawn from the
# whole run or from the save phase alone, which is measured first.
#
# Usage: scripts/kill-saves.sh [BUILD_DIR]
#   KILLS=N        kills (default 200)
#   PERSONS/PAPERS corpus size (default 200000 / 80000)
#   WORK_DIR       where the snapshot goes (default a fresh directory in /tmp)
# Prints one summary line; exits 1 when any check failed. Not part of make
# test: it takes minutes.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
orvane="$(pwd)/$build/orvane"
[ -x "$orvane" ] || { echo "kill-saves: build $orvane first (make build)" >&2; exit 2; }
kills="${KILLS:-200}"
persons="${PERSONS:-200000}"
papers="${PAPERS:-80000}"
if [ -n "${WORK_DIR:-}" ]; then
  work="$WORK_DIR"
  mkdir -p "$work"
else
  work="$(mktemp -d /tmp/orvane-kill-saves-XXXXXX)"
  trap 'rm -rf "$work"' EXIT
fi
target="$work/graph.orv"

# Milliseconds since the epoch.
now_ms() { date +%s%3N; }

"$orvane" snapshot --people "$persons" --papers "$papers" --out "$target" >/dev/null
# Time a whole run, and the save alone (a copy of the loaded snapshot).
start=$(now_ms)
"$orvane" snapshot --people "$persons" --papers "$papers" --out "$target" >/dev/null
whole=$(( $(now_ms) - start ))
start=$(now_ms)
"$orvane" snapshot --db "$target" --out "$work/copy.orv" >/dev/null
copy=$(( $(now_ms) - start ))
rm -f "$work/copy.orv" "$work/copy.orv.lock"

failures=0
max_temporaries=0
finished=0
i=0
while [ "$i" -lt "$kills" ]; do
  # Even runs: anywhere in a generating run. Odd runs: a copy, killed in the
  # second half of its time, which is mostly the save.
  if [ $((i % 2)) -eq 0 ]; then
    delay=$(( $(od -An -N4 -tu4 /dev/urandom) % (whole + 1) ))
    "$orvane" snapshot --people "$persons" --papers "$papers" --out "$target" >/dev/null 2>&1 &
  else
    delay=$(( copy / 2 + $(od -An -N4 -tu4 /dev/urandom) % (copy / 2 + 1) ))
    cp "$target" "$work/source.orv"
    "$orvane" snapshot --db "$work/source.orv" --out "$target" >/dev/null 2>&1 &
  fi
  pid=$!
  sleep "$(printf '0.%03d' "$((delay % 1000))")"
  [ "$delay" -ge 1000 ] && sleep $((delay / 1000))
  if kill -9 "$pid" 2>/dev/null; then :; else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  if ! "$orvane" export --db "$target" --out "$work/check" >/dev/null 2>"$work/err"; then
    failures=$((failures + 1))
    echo "kill-saves: run $i: the snapshot no longer loads: $(cat "$work/err")" >&2
  fi
  rm -rf "$work/check"
  temporaries=$(find "$work" -maxdepth 1 -name 'graph.orv.tmp-*' | wc -l)
  [ "$temporaries" -gt "$max_temporaries" ] && max_temporaries=$temporaries
  if [ "$temporaries" -gt 1 ]; then
    failures=$((failures + 1))
    echo "kill-saves: run $i: $temporaries temporary files beside the target" >&2
  fi
  i=$((i + 1))
done
echo "kills=$kills finished_before_kill=$finished failed_checks=$failures max_temporaries=$max_temporaries" \
     "whole_run_ms=$whole save_run_ms=$copy persons=$persons papers=$papers"
[ "$failures" -eq 0 ]
