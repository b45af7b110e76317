"""End to end: `orvane migrate --bolt` runs the pull bridge against the stub
Bolt server and compiles what it pulled into a snapshot.

CTest runs it with ORVANE_BINARY set to the built program; by hand:

    ORVANE_BINARY=build/orvane PYTHONPATH=scripts python3 tests/scripts/test_pull_migrate.py

ORVANE_HOME is set to the source tree, so the program finds
scripts/pull_neo4j.py there. Skips itself when ORVANE_BINARY is not set.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

from bolt_stub import BoltStub, importable_graph

BINARY = os.environ.get("ORVANE_BINARY", "")
SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


@unittest.skipUnless(BINARY, "needs ORVANE_BINARY, the built program")
class MigrateFromBoltTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="pull-e2e-")
        self.addCleanup(shutil.rmtree, self.work)
        self.snapshot = os.path.join(self.work, "g.orv")

    def migrate(self, port, password):
        return subprocess.run([BINARY, "migrate", "--bolt", "bolt://127.0.0.1:%d" % port,
                               "--from", os.path.join(self.work, "pulled"), "--out", self.snapshot,
                               "--user", "neo4j", "--password", password],
                              capture_output=True, text=True, timeout=120, cwd=self.work,
                              env=dict(os.environ, ORVANE_HOME=SOURCE))

    def test_pulls_imports_and_saves(self):
        with BoltStub(graph=importable_graph(5)) as stub:
            done = self.migrate(stub.port, stub.password)
        self.assertEqual(0, done.returncode, done.stdout + done.stderr)
        self.assertIn("loaded from bolt://127.0.0.1:%d nodes=5 edges=4 people=3 papers=2" % stub.port, done.stdout)
        self.assertIn("snapshot " + self.snapshot, done.stdout)
        self.assertTrue(os.path.isfile(self.snapshot))

    def test_wrong_password_changes_nothing(self):
        with BoltStub(graph=importable_graph(5)) as stub:
            done = self.migrate(stub.port, "wrong-password")
        self.assertEqual(1, done.returncode)
        self.assertIn("refused the login", done.stderr)
        self.assertIn("Neo4j import failed; destination unchanged", done.stderr)
        self.assertNotIn("wrong-password", done.stdout + done.stderr)
        self.assertFalse(os.path.exists(self.snapshot))


if __name__ == "__main__":
    unittest.main()
