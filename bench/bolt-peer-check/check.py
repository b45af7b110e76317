"""Checks the stub Bolt server, and the pull bridge with it, against Neo4j's
official JavaScript driver. Not part of `make test`: it needs Node.js and
the npm package neo4j-driver, which the test machines need not have.

    npm install --prefix /tmp/bolt-peer neo4j-driver
    python3 bench/bolt-peer-check/check.py /tmp/bolt-peer/node_modules

For each Bolt version the stub can be made to speak (5.8, 5.4, 5.0, 4.4):
the driver must negotiate that version, log in, read the graph in one
piece and in pages of two (has_more) and get the same answer, and see the
wrong password refused with Neo4j's code. Then the bridge pulls the same
stub, and every node, relationship and property it wrote must agree with
what the driver decoded, once the driver's way of printing values (padded
fractions, Point{srid=...}) is mapped onto the bridge's. The stub is thereby
checked as a server, and the bridge's decoding against an independent one.
Prints one line per version and exits 1 on the first disagreement.
"""

import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
# The stub Bolt server of the pull tests, and the bridge's package it speaks PackStream with.
sys.path[:0] = [os.path.join(ROOT, "tests", "scripts"), os.path.join(ROOT, "scripts")]
from bolt_stub import BoltStub  # noqa: E402

BRIDGE = os.path.join(ROOT, "scripts", "pull_neo4j.py")
SRIDS = {"cartesian": 7203, "cartesian-3d": 9157, "wgs-84": 4326, "wgs-84-3d": 4979}


def driver_text(value):
    """The bridge's JSON value, as the driver's check script prints it."""
    if isinstance(value, bool) or value is None:
        return value
    if isinstance(value, int):
        return str(value)
    if value in ("NaN", "Infinity", "-Infinity"):
        return None  # JSON.stringify writes non-finite numbers as null
    if isinstance(value, list):
        return [driver_text(item) for item in value]
    if isinstance(value, dict):
        x, y = (value["x"], value["y"]) if "x" in value else (value["longitude"], value["latitude"])
        z = value.get("z", value.get("height"))
        coordinates = [("x", x), ("y", y)] + ([("z", z)] if z is not None else [])
        return "Point{srid=%d, %s}" % (SRIDS[value["crs"]], ", ".join("%s=%r" % pair for pair in coordinates))
    return value


def normalised(value):
    """Text with decimal fractions stripped of trailing zeros (the driver pads
    nanoseconds to nine digits; the bridge writes the shortest form)."""
    if isinstance(value, list):
        return [normalised(item) for item in value]
    if not isinstance(value, str):
        return value
    return re.sub(r"\.(\d*?)0+(?=\D|$)", lambda m: "." + m.group(1) if m.group(1) else "", value)


def agree(driver_value, bridge_value):
    """Whether a property the driver decoded matches the bridge's."""
    driver_value, bridge_value = normalised(driver_value), normalised(driver_text(bridge_value))
    if driver_value == bridge_value:
        return True
    # Over Bolt 4 a zoned date-time arrives as local time and zone; the
    # driver prints no offset, the bridge looks it up.
    return (isinstance(driver_value, str) and isinstance(bridge_value, str) and "[" in driver_value
            and re.sub(r"[+-]\d\d:\d\d(?=\[)|Z(?=\[)", "", bridge_value) == driver_value)


def fail(message):
    print("bolt-peer-check: " + message)
    sys.exit(1)


def check_version(version, node_modules, work):
    with BoltStub(speaks=[version]) as stub:
        run = subprocess.run(["node", os.path.join(HERE, "driver.cjs"), str(stub.port), stub.password],
                             capture_output=True, text=True, timeout=120, env=dict(os.environ, NODE_PATH=node_modules))
        if run.returncode != 0:
            fail("the driver failed against the stub speaking %s:\n%s" % (version, run.stderr))
        seen = json.loads(run.stdout)
        protocol = (seen["whole"]["protocol"]["major"], seen["whole"]["protocol"]["minor"])
        if protocol != version or not seen["pagedSame"] or seen["badPassword"] != "Neo.ClientError.Security.Unauthorized":
            fail("driver saw protocol %s, paged read same: %s, bad password: %s"
                 % (protocol, seen["pagedSame"], seen["badPassword"]))

        credentials = os.path.join(work, "credentials.json")
        with open(credentials, "w") as stream:
            json.dump({"user": stub.user, "password": stub.password}, stream)
        out = os.path.join(work, "export-%d-%d" % version)
        pulled = subprocess.run([sys.executable, BRIDGE, "--bolt", "bolt://127.0.0.1:%d" % stub.port,
                                 "--credentials-file", credentials, "--database", "neo4j", "--out", out],
                                capture_output=True, text=True, timeout=60)
        if pulled.returncode != 0:
            fail("the bridge failed: " + pulled.stderr)

    def lines(name):
        with open(os.path.join(out, name), encoding="utf-8") as stream:
            return [json.loads(line) for line in stream]

    bridge_nodes = [{"id": n["id"], "labels": n["labels"], "properties": n["properties"]} for n in lines("nodes.jsonl")]
    bridge_rels = [{"id": r["id"], "type": r["label"], "start": r["start"]["id"], "end": r["end"]["id"],
                    "properties": r["properties"]} for r in lines("rels.jsonl")]
    for what, from_driver, from_bridge in [("node", seen["whole"]["nodes"], bridge_nodes),
                                           ("relationship", seen["whole"]["relationships"], bridge_rels)]:
        if len(from_driver) != len(from_bridge):
            fail("%d %ss from the driver, %d from the bridge" % (len(from_driver), what, len(from_bridge)))
        for driver_entity, bridge_entity in zip(from_driver, from_bridge):
            got, expected = driver_entity["properties"], bridge_entity["properties"]
            same = got.keys() == expected.keys() and all(agree(got[k], expected[k]) for k in got)
            for key in bridge_entity:
                if not (same if key == "properties" else driver_entity[key] == bridge_entity[key]):
                    fail("%s %s differs in %s:\n  driver %r\n  bridge %r"
                         % (what, bridge_entity["id"], key, driver_entity[key], bridge_entity[key]))
    print("Bolt %d.%d: the driver negotiated it, paged alike, was refused a bad password; "
          "%d nodes and %d relationships agree with the bridge" % (version + (len(bridge_nodes), len(bridge_rels))))


def main():
    node_modules = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("NODE_PATH", "")
    if not os.path.isdir(os.path.join(node_modules, "neo4j-driver")):
        fail("give the node_modules directory that holds neo4j-driver (npm install --prefix DIR neo4j-driver)")
    with tempfile.TemporaryDirectory(prefix="driver-check-") as work:
        for version in [(5, 8), (5, 4), (5, 0), (4, 4)]:
            check_version(version, node_modules, work)
    print("bolt-peer-check: 4 passed, 0 failed")


if __name__ == "__main__":
    main()
