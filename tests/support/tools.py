"""Plumbing shared by the python tests that run our programs: where the
built programs and the corpus are, a run in a scratch home, and plistlib
values compared the way a round trip promises (dates to the second)."""

import datetime
import os
import plistlib
import subprocess
import tempfile

BIN = os.environ.get("FW_BIN_DIR", "build/bin")
CORPUS = os.environ.get("FW_CORPUS_DIR", "")
SOURCE = os.environ.get("FW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def program(name):
    return name if os.path.isabs(name) else os.path.join(BIN, name)


class Scratch:
    """A temporary directory that stands for HOME and TMPDIR while it lives."""

    def __enter__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="fwkit-py-")
        self.path = self._dir.name
        self.env = dict(os.environ, HOME=self.path, TMPDIR=self.path)
        self.env.pop("XDG_RUNTIME_DIR", None)
        return self

    def __exit__(self, *exc):
        self._dir.cleanup()

    def file(self, name, data=b""):
        path = os.path.join(self.path, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run(self, name, *args, stdout=subprocess.PIPE, timeout=120):
        return subprocess.run([program(name), *args], env=self.env, stdout=stdout,
                              stderr=subprocess.PIPE, timeout=timeout)


def corpus_files():
    """Every property list of the corpus, as paths relative to it."""
    for root, dirs, files in os.walk(CORPUS):
        dirs.sort()
        for name in sorted(files):
            rel = os.path.relpath(os.path.join(root, name), CORPUS)
            if rel not in ("README.md", "MANIFEST.tsv"):
                yield rel


def same_to_the_second(a, b):
    """plistlib values equal in kind, order and content; dates to the second."""
    if isinstance(a, datetime.datetime) and isinstance(b, datetime.datetime):
        return a.replace(microsecond=0) == b.replace(microsecond=0)
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same_to_the_second(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same_to_the_second(x, y) for x, y in zip(a, b))
    if isinstance(a, float) and a != a:
        return b != b
    return a == b


def load(path):
    with open(path, "rb") as f:
        return plistlib.load(f)
