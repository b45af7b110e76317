"""The focus of this file: the real Neo4j dumps decode to the graphs they hold.

Each sample is decoded once (setUpModule) through the bridge's convert();
the tests compare counts with the samples' documented facts, check values
by hand, compare versions with each other and check that decoding streams.
"""

import collections
import json
import os
import shutil
import tempfile
import unittest

import dump_fixtures as fx
from neo4j_dump import archive
from neo4j_dump.convert import convert

RESULTS = {}  # sample name -> (Summary, nodes, rels, output directory listing)
TMP = None


def setUpModule():
    global TMP
    if not fx.have_samples():
        return
    TMP = tempfile.mkdtemp(prefix="dump-samples-")
    for name in fx.MOVIES + fx.NORTHWIND:
        out = os.path.join(TMP, name)
        summary = convert(fx.sample(name), out)
        with open(os.path.join(out, "nodes.jsonl"), encoding="utf-8") as f:
            nodes = [json.loads(line) for line in f]
        with open(os.path.join(out, "rels.jsonl"), encoding="utf-8") as f:
            rels = [json.loads(line) for line in f]
        RESULTS[name] = (summary, nodes, rels, sorted(os.listdir(out)))


def tearDownModule():
    if TMP:
        shutil.rmtree(TMP, ignore_errors=True)


def canonical(nodes, rels):
    """The graph with ids replaced by node contents, so versions compare without relying on ids."""
    key = {n["id"]: json.dumps([n["labels"], n["properties"]], sort_keys=True) for n in nodes}
    return (
        collections.Counter(key.values()),
        collections.Counter(json.dumps([key[r["src"]], r["type"], key[r["dst"]], r["properties"]], sort_keys=True) for r in rels),
    )


def by_property(nodes, name, value):
    return [n for n in nodes if n["properties"].get(name) == value]


@unittest.skipUnless(fx.have_samples(), "the shared neo4j-samples directory is absent")
class MoviesDumps(unittest.TestCase):
    def test_every_version_has_the_documented_counts(self):
        for name in fx.MOVIES:
            with self.subTest(name):
                summary, nodes, rels, listing = RESULTS[name]
                self.assertEqual((171, 253), (summary.nodes, summary.relationships))
                self.assertEqual({("Person",): 133, ("Movie",): 38}, collections.Counter(tuple(n["labels"]) for n in nodes))
                self.assertEqual(
                    {"ACTED_IN": 172, "DIRECTED": 44, "PRODUCED": 15, "WROTE": 10, "FOLLOWS": 3, "REVIEWED": 9},
                    collections.Counter(r["type"] for r in rels),
                )
                self.assertEqual(181, sum(1 for r in rels if r["properties"]))
                self.assertEqual(253, len({(r["src"], r["dst"], r["type"]) for r in rels}), "no parallel relationships")
                self.assertEqual(["nodes.jsonl", "rels.jsonl"], listing, "no temporary file is left")

    def test_store_versions_cover_standard_and_aligned(self):
        versions = {name: RESULTS[name][0].version for name in fx.MOVIES}
        self.assertEqual(
            {"movies-35": "v0.A.9", "movies-40": "AF4.1.a", "movies-41": "SF4.0.0", "movies-43": "AF4.3.0", "movies-50": "5.x aligned"},
            versions,
        )

    def test_all_versions_decode_to_the_same_graph(self):
        reference = canonical(*RESULTS["movies-35"][1:3])
        for name in fx.MOVIES[1:]:
            with self.subTest(name):
                self.assertEqual(reference, canonical(*RESULTS[name][1:3]))

    def test_named_values(self):
        for name in fx.MOVIES:
            with self.subTest(name):
                _, nodes, rels, _ = RESULTS[name]
                (matrix,) = by_property(nodes, "title", "The Matrix")
                self.assertEqual(["Movie"], matrix["labels"])
                self.assertEqual({"title": "The Matrix", "released": 1999, "tagline": "Welcome to the Real World"}, matrix["properties"])
                (keanu,) = by_property(nodes, "name", "Keanu Reeves")
                self.assertEqual({"name": "Keanu Reeves", "born": 1964}, keanu["properties"])
                (role,) = [r for r in rels if r["src"] == keanu["id"] and r["dst"] == matrix["id"]]
                self.assertEqual(("ACTED_IN", {"roles": ["Neo"]}), (role["type"], role["properties"]))
                (jessica,) = by_property(nodes, "name", "Jessica Thompson")
                reviews = {r["properties"]["summary"]: r["properties"]["rating"] for r in rels if r["src"] == jessica["id"] and r["type"] == "REVIEWED"}
                self.assertEqual(95, reviews["An amazing journey"])


@unittest.skipUnless(fx.have_samples(), "the shared neo4j-samples directory is absent")
class NorthwindDumps(unittest.TestCase):
    def test_counts_and_identity(self):
        for name in fx.NORTHWIND:
            with self.subTest(name):
                summary, nodes, rels, _ = RESULTS[name]
                self.assertEqual((1035, 3139), (summary.nodes, summary.relationships))
                self.assertEqual(2155, sum(1 for r in rels if r["type"] == "ORDERS" and r["properties"]))
        self.assertEqual(canonical(*RESULTS["northwind-43"][1:3]), canonical(*RESULTS["northwind-50"][1:3]))

    def test_an_order_line(self):
        _, nodes, rels, _ = RESULTS["northwind-50"]
        (order,) = by_property(nodes, "orderID", "10248")
        (cheese,) = by_property(nodes, "productName", "Queso Cabrales")
        (line,) = [r for r in rels if r["src"] == order["id"] and r["dst"] == cheese["id"]]
        self.assertEqual("ORDERS", line["type"])
        self.assertEqual({"orderID": "10248", "productID": "11", "quantity": 12, "unitPrice": "14.00", "discount": "0"}, line["properties"])
        (product,) = by_property(nodes, "productName", "Chai")
        self.assertEqual((18.0, False, 39), tuple(product["properties"][k] for k in ("unitPrice", "discontinued", "unitsInStock")))


@unittest.skipUnless(fx.have_samples(), "the shared neo4j-samples directory is absent")
class Streaming(unittest.TestCase):
    def test_movies_41_spools_only_store_files(self):
        # Its 250 MiB preallocated transaction log must be read past, never written.
        work = tempfile.mkdtemp(prefix="dump-spool-")
        try:
            spooled = archive.spool(fx.sample("movies-41"), work)
            self.assertIn("neostore.transaction.db.0", spooled.top_level_names)
            self.assertEqual(sorted(archive.STORE_FILES), sorted(os.listdir(work)))
            self.assertGreater(spooled.entry_bytes, 250 << 20)
            self.assertLess(spooled.spooled_bytes, 1 << 20)
        finally:
            shutil.rmtree(work)


if __name__ == "__main__":
    unittest.main()
