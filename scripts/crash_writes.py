#!/usr/bin/env python3
"""Crash check of durable writes: clients stream writes over HTTP to
`orvane serve --db FILE` while the server is killed with SIGKILL at random
moments, KILLS times (default 200). A small checkpoint bound makes the
server write a checkpoint every few dozen commits, so that kills land in
checkpoints too. After every kill the server is started again on the same
file and must load, and then:
  - every write the clients saw acknowledged is present,
  - no write is half-applied (each statement creates a :W node, a :V node
    and the relationship between them: all three or none), and
  - none is applied twice.

    scripts/crash_writes.py [ORVANE_BINARY]

KILLS, CLIENTS (default 4), MAX_DELAY (seconds before a kill, default
0.6) and CHECKPOINT_BYTES (default 16384) can be set in the environment.
Prints one summary line; exits 1 when any check failed. The full run is
not part of `make test`, which runs a short one.
"""
import http.client
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def query(port, text, params=None, timeout=30):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    c.request("POST", "/v1/query", json.dumps({"query": text, "params": params or {}}),
              {"Content-Type": "application/json"})
    r = c.getresponse()
    body = r.read()
    c.close()
    return r.status, json.loads(body)


def start(orvane, db, port, bound):
    server = subprocess.Popen([orvane, "serve", "--db", db, "--people", "50", "--port", str(port), "--no-bolt",
                               "--checkpoint-bytes", str(bound)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        if server.poll() is not None:
            raise RuntimeError("the server did not start: " + server.stderr.read().decode(errors="replace"))
        try:
            c = http.client.HTTPConnection("127.0.0.1", port, timeout=1)
            c.request("GET", "/v1/health")
            if c.getresponse().status == 200:
                return server
        except OSError:
            time.sleep(0.05)
    server.kill()
    raise RuntimeError("the server did not answer within 60 s")


def writer(port, keys, acknowledged, lock):
    """Writes until the connection breaks; records what was acknowledged."""
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    while True:
        k = next(keys)
        body = json.dumps({"query": "CREATE (:W {k: $k})-[:NEXT]->(:V {k: $k})", "params": {"k": k}})
        try:
            c.request("POST", "/v1/query", body, {"Content-Type": "application/json"})
            r = c.getresponse()
            r.read()
        except (OSError, http.client.HTTPException):
            return
        if r.status == 200:
            with lock:
                acknowledged.add(k)


def check(port, acknowledged):
    """The problems of the graph the server holds; an empty list when none."""
    reads = {
        "half": "MATCH (a:W) OPTIONAL MATCH (a)-[:NEXT]->(b:V) WHERE b.k = a.k "
                "WITH a.k AS k, count(b) AS c WHERE c <> 1 RETURN collect([k, c])[0..5]",
        "w": "MATCH (a:W) RETURN collect(a.k)",
        "v": "MATCH (b:V) RETURN collect(b.k)",
    }
    answers = {}
    for name, text in reads.items():
        status, answer = query(port, text)
        if status != 200:
            return [f"a read failed: {answer.get('error')}"]
        answers[name] = answer["data"]["rows"][0][0]
    problems = []
    if answers["half"]:
        problems.append(f"writes half-applied ([key, relationships]): {answers['half']}")
    w, v = answers["w"], answers["v"]
    if len(set(w)) != len(w):
        problems.append("writes applied twice")
    if sorted(w) != sorted(v):
        problems.append("the :V nodes do not match the :W nodes")
    lost = acknowledged - set(w)
    if lost:
        problems.append(f"{len(lost)} acknowledged writes lost, e.g. {sorted(lost)[:5]}")
    return problems


def main():
    orvane = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("ORVANE_BINARY", "build/orvane")
    kills = int(os.environ.get("KILLS", "200"))
    clients = int(os.environ.get("CLIENTS", "4"))
    max_delay = float(os.environ.get("MAX_DELAY", "0.6"))
    bound = int(os.environ.get("CHECKPOINT_BYTES", "16384"))
    rng = random.Random(int(os.environ.get("SEED", "7")))
    work = tempfile.mkdtemp(prefix="orvane-crash-writes-")
    db = os.path.join(work, "graph.orv")
    port = free_port()
    acknowledged, lock = set(), threading.Lock()
    counter = iter(range(1, 1 << 62))
    keys_lock = threading.Lock()

    def keys():
        while True:
            with keys_lock:
                k = next(counter)
            yield k

    failures = []
    server = None
    try:
        for kill in range(kills):
            server = start(orvane, db, port, bound)
            problems = check(port, acknowledged)
            if problems:
                failures.append(f"after kill {kill}: " + "; ".join(problems))
                break
            threads = [threading.Thread(target=writer, args=(port, keys(), acknowledged, lock))
                       for _ in range(clients)]
            for t in threads:
                t.start()
            time.sleep(rng.uniform(0.0, max_delay))
            server.send_signal(signal.SIGKILL)
            server.wait()
            server = None
            for t in threads:
                t.join()
        if not failures:
            server = start(orvane, db, port, bound)
            failures += check(port, acknowledged)
    finally:
        if server is not None:
            server.kill()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)
    print(f"crash-writes: {kills} kills, {len(acknowledged)} acknowledged writes, "
          f"{'all present, none half-applied or doubled' if not failures else 'FAILED'}")
    for failure in failures:
        print("  " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
