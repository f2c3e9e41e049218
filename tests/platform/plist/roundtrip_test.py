"""Round trips between our binary reader and writer and python3's plistlib,
on seeded random values of every kind (nested containers, non-BMP text,
empty containers, big and negative integers):

  (a) plistlib writes XML (and binary) -> plist-convert reads it and writes
      binary with our writer -> plistlib reads back exactly what it wrote;
  (b) plistlib writes XML and binary -> our readers read them (tagged JSON
      from plist-convert) -> equal to the value plistlib wrote.

XML input needs the XML reader; a build without it checks binary input only.
"""
import datetime
import json
import os
import plistlib
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import tools  # noqa: E402

EPOCH = datetime.datetime(2001, 1, 1)


def random_text(rng):
    pools = ["abcxyz ", "éüß", "日本語", "\U0001F3B5\U0001F600", "<&>\"'\n\t"]
    return "".join(rng.choice(rng.choice(pools)) for _ in range(rng.randrange(0, 20)))


def random_value(rng, depth=0):
    kinds = ["bool", "int", "bigint", "negint", "real", "date", "data", "str", "uid"]
    if depth < 4:
        kinds += ["array", "dict", "array", "dict"]
    kind = rng.choice(kinds)
    if kind == "bool":
        return rng.random() < 0.5
    if kind == "int":
        return rng.choice([0, 1, 255, 256, 65535, 65536, 2**32, 2**63 - 1, rng.randrange(2**40)])
    if kind == "bigint":
        return rng.randrange(2**63, 2**64)
    if kind == "negint":
        return -rng.choice([1, 2**31, 2**63, rng.randrange(1, 2**62)])
    if kind == "real":
        return rng.choice([0.5, -1e300, 3.25e-10, float(rng.randrange(10**6)) / 7])
    if kind == "date":
        return EPOCH + datetime.timedelta(seconds=rng.randrange(-10**9, 10**9))
    if kind == "data":
        return bytes(rng.randrange(256) for _ in range(rng.randrange(0, 40)))
    if kind == "str":
        return random_text(rng)
    if kind == "uid":
        return plistlib.UID(rng.choice([0, 255, 256, 2**32, rng.randrange(2**63)]))
    n = rng.choice([0, 1, 3, 16, 40])
    if kind == "array":
        return [random_value(rng, depth + 1) for _ in range(n)]
    return {random_text(rng): random_value(rng, depth + 1) for _ in range(n)}


def from_tagged(j):
    """plist-convert's tagged JSON to plistlib's values."""
    if isinstance(j, (bool, str)):
        return j
    if isinstance(j, list):
        return [from_tagged(x) for x in j]
    (tag, v), = j.items()
    if tag == "int":
        return int(v)
    if tag == "real":
        return struct.unpack(">d", bytes.fromhex(v))[0]
    if tag == "date":
        return EPOCH + datetime.timedelta(seconds=struct.unpack(">d", bytes.fromhex(v))[0])
    if tag == "data":
        return bytes.fromhex(v)
    if tag == "uid":
        return plistlib.UID(int(v))
    return {k: from_tagged(x) for k, x in v}


def same(a, b):
    """Exact equality, with dictionary order and types compared too."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b


def convert(scratch, mode, src, dst):
    r = scratch.run("plist-convert", mode, src, dst)
    return r.returncode, r.stderr.decode()


def main():
    rng = random.Random(20261209)
    failures = 0
    xml_checked = False
    with tools.Scratch() as scratch:
        tmp = scratch.path
        for case in range(150):
            value = {"root": random_value(rng)} if case % 2 else random_value(rng)
            if case % 10 == 0:  # plistlib refuses UIDs in XML
                value = [value, plistlib.UID(case)]
            for fmt, name in ((plistlib.FMT_BINARY, "in.bplist"), (plistlib.FMT_XML, "in.xml")):
                try:
                    data = plistlib.dumps(value, fmt=fmt, sort_keys=False)
                except (TypeError, ValueError, OverflowError):
                    continue
                src = scratch.file(name, data)
                code, err = convert(scratch, "--json", src, os.path.join(tmp, "out.json"))
                if fmt == plistlib.FMT_XML and "no XML reader" in err:
                    continue
                xml_checked |= fmt == plistlib.FMT_XML
                if code != 0:
                    print("case %d %s: our reader refused: %s" % (case, name, err.strip()))
                    failures += 1
                    continue
                with open(os.path.join(tmp, "out.json")) as f:
                    if not same(from_tagged(json.load(f)), plistlib.loads(data)):
                        print("case %d %s: our reader differs from plistlib" % (case, name))
                        failures += 1
                out = os.path.join(tmp, "out.bplist")
                code, err = convert(scratch, "--binary", src, out)
                back = tools.load(out) if code == 0 else None
                if code != 0 or not same(back, plistlib.loads(data)):
                    print("case %d %s: plistlib reads back something else from our writer %s"
                          % (case, name, err.strip()))
                    failures += 1
    if not xml_checked:
        print("note: no XML reader in this build; binary input only")
    print("%d failures" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
