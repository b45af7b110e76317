#!/usr/bin/env python3
"""Holds slow clients open against a loopback HTTP server, for benchmarks.

    hold_connections.py PORT [--idle N] [--trickle N] [--seconds S]

Opens N idle connections that never send a byte and N trickling ones that
send a GET header one byte at a time (one byte per connection per second),
and keeps those counts for S seconds: a connection the server closes is
opened again. Prints "holding I idle, T trickling" once the counts are
first reached, and a summary of how often the server closed them at the
end; then closes everything and exits. Loopback only; at most 5,000
connections and one hour, so a mistyped argument cannot turn it into a
flood.
"""
import argparse
import errno
import resource
import selectors
import socket
import sys
import time

HOST = "127.0.0.1"
MAX_CONNECTIONS = 5000
MAX_SECONDS = 3600
HEADER = b"GET /v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + b"s" * 4000 + b"\r\n\r\n"


def raise_descriptor_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


class Holder:
    def __init__(self, port, idle, trickle):
        self.port = port
        self.wanted = {"idle": idle, "trickle": trickle}
        self.selector = selectors.DefaultSelector()
        self.open = {"idle": set(), "trickle": set()}
        self.sent = {}  # trickling socket -> header bytes sent so far
        self.closed_by_server = {"idle": 0, "trickle": 0}
        self.failed_connects = 0

    def connect(self, kind):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.connect((HOST, self.port))
        except OSError:
            s.close()
            self.failed_connects += 1
            return
        s.setblocking(False)
        self.open[kind].add(s)
        self.selector.register(s, selectors.EVENT_READ, kind)
        if kind == "trickle":
            self.sent[s] = 0

    def drop(self, s, kind):
        self.selector.unregister(s)
        self.open[kind].discard(s)
        self.sent.pop(s, None)
        s.close()

    def refill(self):
        for kind, count in self.wanted.items():
            while len(self.open[kind]) < count:
                before = self.failed_connects
                self.connect(kind)
                if self.failed_connects > before:
                    return

    def trickle_one_byte_each(self):
        for s in list(self.open["trickle"]):
            at = self.sent[s]
            try:
                s.send(HEADER[at:at + 1])
                self.sent[s] = (at + 1) % len(HEADER)
            except OSError as e:
                if e.errno not in (errno.EAGAIN, errno.EWOULDBLOCK):
                    self.closed_by_server["trickle"] += 1
                    self.drop(s, "trickle")

    def watch(self, timeout):
        """Anything readable on a held connection is the server closing it
        (or answering it, which only happens at the header's end)."""
        for key, _ in self.selector.select(timeout):
            s, kind = key.fileobj, key.data
            try:
                data = s.recv(65536)
            except OSError:
                data = b""
            if not data:
                self.closed_by_server[kind] += 1
                self.drop(s, kind)

    def close_all(self):
        for kind in self.open:
            for s in list(self.open[kind]):
                self.drop(s, kind)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("--idle", type=int, default=1000)
    parser.add_argument("--trickle", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=60)
    args = parser.parse_args()
    if args.idle < 0 or args.trickle < 0 or args.idle + args.trickle > MAX_CONNECTIONS:
        sys.exit(f"at most {MAX_CONNECTIONS} connections in all")
    if not 0 < args.seconds <= MAX_SECONDS:
        sys.exit(f"--seconds must lie in (0, {MAX_SECONDS}]")
    raise_descriptor_limit()
    holder = Holder(args.port, args.idle, args.trickle)
    end = time.monotonic() + args.seconds
    announced = False
    next_byte = time.monotonic()
    try:
        while time.monotonic() < end:
            holder.refill()
            if not announced and all(len(holder.open[k]) == n for k, n in holder.wanted.items()):
                print(f"holding {args.idle} idle, {args.trickle} trickling", flush=True)
                announced = True
            now = time.monotonic()
            if now >= next_byte:
                holder.trickle_one_byte_each()
                next_byte = now + 1.0
            holder.watch(max(0.0, min(next_byte, end) - time.monotonic()))
    finally:
        holder.close_all()
    print(f"server closed {holder.closed_by_server['idle']} idle and {holder.closed_by_server['trickle']} "
          f"trickling connections; {holder.failed_connects} connects failed", flush=True)


if __name__ == "__main__":
    main()
