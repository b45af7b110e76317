"""Shared helpers of the dump decoder tests: the real samples, dump building, the bridge.

The real dumps are read in place from the shared samples directory
(NEO4J_SAMPLES, else ../shared/neo4j-samples beside the checkout); tests
skip when it is absent. Fault tests rebuild dumps from a sample's store
files with one change (build_dump), in every container layout, in a
temporary directory: the samples themselves are never copied or modified.
"""

import contextlib
import gzip
import importlib.util
import io
import os
import struct
import subprocess
import sys
import tarfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SCRIPT = os.path.join(ROOT, "scripts", "import_neo4j_dump.py")
SAMPLES = os.environ.get("NEO4J_SAMPLES") or os.path.join(ROOT, "..", "shared", "neo4j-samples")
MOVIES = ["movies-35", "movies-40", "movies-41", "movies-43", "movies-50"]
NORTHWIND = ["northwind-43", "northwind-50"]


def sample(name):
    """Path of a sample dump by its short name, e.g. "movies-43"."""
    folder = "movies" if name.startswith("movies") else "northwind"
    return os.path.join(SAMPLES, folder, name + ".dump")


def have_samples():
    return os.path.isfile(sample("movies-43"))


def sample_entries(name):
    """Returns [(entry name, bytes)] of a sample's regular files, transaction logs left out."""
    path = sample(name)
    with open(path, "rb", buffering=0) as f:
        offset = 4 if f.read(4) == b"DZV1" else 0
        f.seek(offset)
        raw = subprocess.run(["zstd", "-dcq"], stdin=f, stdout=subprocess.PIPE, check=True).stdout
    entries = []
    with tarfile.open(fileobj=io.BytesIO(raw[24:]), mode="r:") as tar:
        for member in tar:
            if member.isfile() and "transaction" not in member.name:
                entries.append((member.name, tar.extractfile(member).read()))
    return entries


def replace(entries, name, offset, data):
    """Returns a copy of `entries` with `data` written at `offset` of file "./name"."""
    out = []
    for entry_name, content in entries:
        if entry_name == "./" + name:
            content = content[:offset] + data + content[offset + len(data) :]
        out.append((entry_name, content))
    return out


def build_dump(path, entries, layout="dzv1"):
    """Writes a dump of `entries` in `layout`: "dzv1", "zstd", "dgv1" or "gzip"."""
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name, content in entries:
            info = tarfile.TarInfo(name)
            info.size = len(content)
            tar.addfile(info, io.BytesIO(content))
    tar_bytes = buf.getvalue()
    if layout in ("dzv1", "zstd"):
        meta = b"zstd" + struct.pack(">iqq", 1, len(entries), sum(len(c) for _, c in entries))
        body = subprocess.run(["zstd", "-qc"], input=meta + tar_bytes, stdout=subprocess.PIPE, check=True).stdout
        prefix = b"DZV1" if layout == "dzv1" else b""
    else:
        body = gzip.compress(tar_bytes)
        prefix = b"DGV1" if layout == "dgv1" else b""
    with open(path, "wb") as f:
        f.write(prefix + body)
    return path


def run_bridge(dump, out):
    """Runs the bridge script as orvane does; returns the CompletedProcess (text output)."""
    return subprocess.run(
        [sys.executable, SCRIPT, "--dump", dump, "--out", out],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        check=False,
    )


def run_in_process(dump, out):
    """Calls the bridge's main() in this process; returns (status, stdout, stderr).

    Same contract as run_bridge, without the interpreter's start-up time.
    """
    script = importlib.util.spec_from_file_location("import_neo4j_dump", SCRIPT)
    module = importlib.util.module_from_spec(script)
    script.loader.exec_module(module)
    stdout, stderr = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(stdout), contextlib.redirect_stderr(stderr):
        status = module.main(["--dump", dump, "--out", out])
    return status, stdout.getvalue(), stderr.getvalue()
