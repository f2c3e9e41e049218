"""Every property list in the corpus is either read or refused cleanly by
plist-dump, and what it reads matches python3's plistlib.

`plist-dump --json` prints the JSON view described in json_writer.h; this
test maps plistlib's objects to the same view and compares them exactly
(dates to within a microsecond, since plistlib keeps only microseconds).
A refusal must be exit status 1 with a reason on stderr; anything else
(a signal, a sanitizer report, a hang) fails.
"""

import base64
import datetime
import json
import math
import os
import plistlib
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import tools  # noqa: E402

CORPUS = tools.CORPUS
DUMP = tools.program("plist-dump")
EPOCH = datetime.datetime(2001, 1, 1)

# Files where we and plistlib differ on purpose, with the reason. "refuse"
# means we refuse a file plistlib reads; "accept" that we read one plistlib
# refuses; "differ" that both read it but the values differ.
DELIBERATE = {
    # Binary lists.
    "node-bplist-parser/test/iTunes-small.bplist": (
        "accept", "its \"ASCII\" strings hold UTF-8 bytes, which we read as UTF-8; "
        "plistlib refuses them"),
    "node-bplist-parser/test/sample1.bplist": (
        "accept", "an \"ASCII\" string holding UTF-8 (a copyright sign)"),
    "cpython-test_plistlib/invalid_binary/29_invalid_ASCII.bplist": (
        "accept", "bytes above 0x7F in an \"ASCII\" string read as Latin-1"),
    "cpython-test_plistlib/invalid_binary/34_invalid_UTF_16.bplist": (
        "accept", "an unpaired surrogate is kept as a code unit; our strings are UTF-16"),
    "biplist/tests/data/small_date.plist": (
        "accept", "a date before year 1, which Python's datetime cannot hold"),
    "cpython-test_plistlib/invalid_binary/36_too_large_datetime_datetime_overflow.bplist": (
        "accept", "a date past year 9999, which Python's datetime cannot hold"),
    "cpython-test_plistlib/invalid_binary/37_too_large_datetime_timedelta_overflow.bplist": (
        "accept", "a date far outside Python's datetime range"),
    "cpython-test_plistlib/invalid_binary/38_invalid_datetime_Infinity.bplist": (
        "accept", "an infinite date is a valid double"),
    "cpython-test_plistlib/invalid_binary/39_invalid_datetime_NaN.bplist": (
        "accept", "a NaN date is a valid double"),
    "biplist/tests/data/sorted.plist": (
        "accept", "plistlib refuses it; the binary reader finds every reference in bounds"),
    "biplist/tests/data/invalid_object_offset_size.plist": (
        "refuse", "an offset points outside the object area; plistlib reads what is there"),
    "biplist/tests/fuzz_data/ascii_string_too_long.plist": (
        "refuse", "the offset table overruns the file"),
    "libplist/fuzz/bplist-crashes/crash-39f1347115f8fe9ac25cdc9332e3fc5cd32c7f7b": (
        "refuse", "a dictionary key that is not a string (plistlib gives an integer key)"),
    # XML lists.
    "libplist/fuzz/xplist-crashes/clusterfuzz-testcase-4663876528373760": (
        "refuse", "<data> holds characters outside base64, which plistlib skips silently"),
}
# Reference cycles (libplist/test/data/recursion.bplist,
# rust-plist/tests/data/binary_circular_array.plist) are refused by both.


def view(obj):
    """plistlib's object as the JSON view plist-dump prints."""
    if isinstance(obj, bool):
        return obj
    if isinstance(obj, int):
        return obj
    if isinstance(obj, float):
        if math.isnan(obj):
            return {"$real": "nan"}
        if math.isinf(obj):
            return {"$real": "inf" if obj > 0 else "-inf"}
        return obj
    if isinstance(obj, str):
        return obj
    if isinstance(obj, datetime.datetime):
        if obj.tzinfo is not None:
            obj = obj.astimezone(datetime.timezone.utc).replace(tzinfo=None)
        return {"$date": (obj - EPOCH) / datetime.timedelta(seconds=1)}
    if isinstance(obj, (bytes, bytearray)):
        return {"$data": base64.b64encode(bytes(obj)).decode("ascii")}
    if isinstance(obj, plistlib.UID):
        return {"$uid": obj.data}
    if isinstance(obj, (list, tuple)):
        return [view(x) for x in obj]
    if isinstance(obj, dict):
        return {k: view(v) for k, v in obj.items()}
    raise TypeError(type(obj))


def same(a, b):
    """Exact comparison of two views; dates within a microsecond, int and
    float kept apart."""
    if isinstance(a, dict) and isinstance(b, dict):
        if list(a.keys()) != list(b.keys()):
            return False
        if list(a.keys()) == ["$date"]:
            x, y = a["$date"], b["$date"]
            if isinstance(x, float) and isinstance(y, float):
                return abs(x - y) <= 1e-6 * max(1.0, abs(x) * 1e-9)
        return all(same(a[k], b[k]) for k in a)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if type(a) is not type(b):
        return False
    return a == b


def plistlib_view(path):
    with open(path, "rb") as f:
        data = f.read()
    try:
        value = plistlib.loads(data)
    except Exception as e:  # plistlib raises many kinds
        return None, "%s: %s" % (type(e).__name__, e)
    if value is None:
        return None, "no value"
    try:
        return view(value), None
    except (TypeError, RecursionError) as e:
        return None, "%s: %s" % (type(e).__name__, e)


class CorpusTest(unittest.TestCase):
    def test_every_file_is_read_or_refused_like_plistlib(self):
        if not os.path.isdir(CORPUS):
            self.skipTest("no corpus at %r" % CORPUS)
        self.assertTrue(os.access(DUMP, os.X_OK), DUMP)
        problems = []
        checked = 0
        for rel in tools.corpus_files():
            path = os.path.join(CORPUS, rel)
            checked += 1
            try:
                run = subprocess.run([DUMP, "--json", path], capture_output=True, timeout=60)
            except subprocess.TimeoutExpired:
                problems.append("%s: timed out" % rel)
                continue
            ours = None
            if run.returncode == 0:
                try:
                    ours = json.loads(run.stdout.decode("utf-8"))
                except ValueError as e:
                    problems.append("%s: output is not JSON: %s" % (rel, e))
                    continue
            elif run.returncode != 1 or not run.stderr.strip():
                problems.append("%s: exit %d, stderr %r" % (rel, run.returncode,
                                                            run.stderr[-400:]))
                continue
            elif b"Sanitizer" in run.stderr or b"runtime error" in run.stderr:
                problems.append("%s: sanitizer report: %r" % (rel, run.stderr[-400:]))
                continue
            theirs, their_error = plistlib_view(path)

            if ours is not None and theirs is not None:
                outcome = "same" if same(ours, theirs) else "differ"
            elif ours is None and theirs is None:
                outcome = "same"
            elif ours is None:
                outcome = "refuse"
            else:
                outcome = "accept"

            expected = DELIBERATE.get(rel, ("same", ""))[0]
            if outcome == expected:
                continue
            detail = {
                "differ": "values differ from plistlib's",
                "refuse": "refused (%s) but plistlib reads it"
                          % run.stderr.decode("utf-8", "replace").strip(),
                "accept": "read, but plistlib refuses it (%s)" % their_error,
                "same": "now agrees with plistlib; drop it from DELIBERATE",
            }[outcome]
            problems.append("%s: %s" % (rel, detail))
        self.assertGreater(checked, 100)
        self.assertEqual(problems, [], "\n".join(problems))


if __name__ == "__main__":
    unittest.main(verbosity=2)
