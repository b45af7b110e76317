#!/usr/bin/env python3
"""Statement route under concurrent load: CLIENTS threads send a mix of
reads, CREATEs, :param and USE statements to POST /v1/query of one
`orvane serve` on loopback for DURATION seconds.

Run 1 (ephemeral server): every answer must be well-formed JSON and every
failure must be one of the specified statement errors; reports requests per
second and latency percentiles.

Run 2 (server on a snapshot file): every CREATE names the database
"restored" in the `db` field; after the server stops, the snapshot is read
back with `orvane query` and must hold the starting node count plus exactly
the acknowledged CREATEs.

Last, the HTTP cost of a statement: the median of /v1/query for a small count
query against the same statement's `ns` as the in-process dispatcher timed it.

Usage: scripts/bench-routes.py [BUILD_DIR]   (DURATION=30 CLIENTS=16)
Only 127.0.0.1 is contacted; the servers started here are stopped by pid.
"""
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
BINARY = os.path.join(BUILD, "orvane")
DURATION = float(os.environ.get("DURATION", "30"))
CLIENTS = int(os.environ.get("CLIENTS", "16"))
COUNT = "MATCH (p:Person {id: 0})-[:FOLLOWS*1..2]->(x) RETURN count(DISTINCT x)"


def post(port, path, body):
    """One request on its own connection, closed after the answer."""
    data = json.dumps(body).encode()
    request = (f"POST {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nConnection: close\r\n"
               f"Content-Type: application/json\r\n"
               f"Content-Length: {len(data)}\r\n\r\n").encode() + data
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(request)
        chunks = []
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            chunks.append(chunk)
    raw = b"".join(chunks)
    head, _, payload = raw.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    return status, json.loads(payload)  # raises on malformed JSON


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_server(args):
    """orvane serve with `args` on a free port, once it answers /v1/health;
    returns the process and its port."""
    port = free_port()
    process = subprocess.Popen([BINARY, "serve", "--port", str(port), "--no-bolt", "--no-fabric"] + args,
                               stdout=subprocess.DEVNULL)
    for _ in range(600):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
                s.sendall(b"GET /v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                if s.recv(64).startswith(b"HTTP/1.1 200 "):
                    return process, port
        except OSError:
            pass
        if process.poll() is not None:
            break
        time.sleep(0.05)
    process.kill()
    raise SystemExit("server did not start")


def stop_server(process):
    process.terminate()
    process.wait(timeout=30)


def load(port, same_db):
    latencies, failures, created = [], [], [0]
    lock = threading.Lock()
    stop_at = time.time() + DURATION

    def client(number):
        i = 0
        while time.time() < stop_at:
            i += 1
            kind = i % 4
            if kind == 0:
                body = {"query": f"CREATE (:Person {{name: 'c{number}-{i}'}})"}
                if same_db:
                    body["db"] = "restored"
            elif kind == 1:
                body = {"query": f":param id => {i % 50}"}
            elif kind == 2 and not same_db:
                body = {"query": "USE " + ("simple" if i % 8 == 2 else "orvane")}
            else:
                body = {"query": COUNT}
            began = time.perf_counter()
            try:
                status, answer = post(port, "/v1/query", body)
            except Exception as error:  # malformed answer or broken connection
                with lock:
                    failures.append(f"{body['query']}: {error!r}")
                continue
            elapsed = time.perf_counter() - began
            with lock:
                latencies.append(elapsed)
                if status != 200 or not answer.get("ok"):
                    failures.append(f"{body['query']}: {status} {answer.get('error')}")
                elif kind == 0:
                    created[0] += 1

    threads = [threading.Thread(target=client, args=(n,)) for n in range(CLIENTS)]
    began = time.time()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return latencies, failures, created[0], time.time() - began


def report(name, latencies, failures, seconds):
    q = statistics.quantiles(latencies, n=100)
    print(f"{name}: {len(latencies)} answers in {seconds:.1f} s = {len(latencies) / seconds:.0f} req/s; "
          f"latency p50 {q[49] * 1e3:.2f} ms, p90 {q[89] * 1e3:.2f} ms, p99 {q[98] * 1e3:.2f} ms; "
          f"{len(failures)} failures")
    for failure in failures[:10]:
        print("  failure:", failure)


def node_count(snapshot):
    out = subprocess.run([BINARY, "query", "--db", snapshot, "--gql", "MATCH (n) RETURN count(n)"],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)["rows"][0][0]


def main():
    ok = True
    server, port = start_server(["--ephemeral", "--people", "300", "--papers", "100"])
    try:
        latencies, failures, _, seconds = load(port, same_db=False)
        report("mixed statements", latencies, failures, seconds)
        ok &= not failures
        samples = []
        for _ in range(500):
            began = time.perf_counter()
            status, answer = post(port, "/v1/query", {"query": COUNT, "db": "orvane"})
            samples.append((time.perf_counter() - began) * 1e9 - answer["ns"])
        print(f"HTTP path adds {statistics.median(samples) / 1e3:.0f} us at the median to the in-process statement")
    finally:
        stop_server(server)

    with tempfile.TemporaryDirectory() as directory:
        snapshot = os.path.join(directory, "graph.orv")
        subprocess.run([BINARY, "snapshot", "--people", "300", "--papers", "100", "--out", snapshot],
                       stdout=subprocess.DEVNULL, check=True)
        server, port = start_server(["--db", snapshot])
        try:
            before = post(port, "/v1/query", {"query": "MATCH (n) RETURN count(n)", "db": "restored"})[1]["count"]
            latencies, failures, created, seconds = load(port, same_db=True)
            report("CREATE into one database", latencies, failures, seconds)
        finally:
            stop_server(server)
        after = node_count(snapshot)
        print(f"snapshot: {before} nodes before, {created} CREATEs acknowledged, {after} nodes on disk")
        ok &= not failures and after == before + created
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
