#!/usr/bin/env python3
"""Writes property lists that hold every kind of value, as seeds for the
writer round trip: XML and binary (python3's plistlib), and a few binary
lists plistlib cannot write (a lone surrogate, U+001B, U+FFFE), which XML
must refuse.

    gen-value-seeds.py OUT_DIR
"""
import datetime
import os
import plistlib
import struct
import sys


def values():
    epoch = datetime.datetime(2001, 1, 1)
    scalars = {
        "booleans": [True, False],
        "integers": [0, 1, -1, 255, 256, 65535, 65536, 2**31, -2**31, 2**63 - 1, -2**63,
                     2**64 - 1],
        # The last two are NaNs with a payload and a sign, which XML cannot carry.
        "reals": [0.0, -0.0, 0.1, 1.5, -2.0, 1e308, 5e-324, float("inf"), float("-inf"),
                  float("nan"), struct.unpack(">d", bytes.fromhex("7ff80a3c21444f43"))[0],
                  struct.unpack(">d", bytes.fromhex("fff8000000000001"))[0]],
        "dates": [epoch, datetime.datetime(1970, 1, 1),
                  datetime.datetime(2004, 2, 29, 13, 5, 9, 250000),
                  datetime.datetime(1, 1, 1), datetime.datetime(9999, 12, 31, 23, 59, 59)],
        "data": [b"", b"\x00", b"\xff" * 3, bytes(range(256))],
        "strings": ["", "a", "Caf\u00e9", "\u6771\u4eac", "\U0001F3B5 track", "tab\there",
                    "line\nfeed", "carriage\rreturn", "<&>\"'", "]]>", " padded "],
    }
    nested = {"empty array": [], "empty dict": {},
              "deep": [[[{"k": [{"x": "y"}]}]]], "repeats": ["same"] * 5}
    yield "scalars", scalars
    yield "nested", nested
    yield "strings only", {"names": ["a.mp3", "b.mp3"],
                           "paths": {"a.mp3": "~/Music", "b.mp3": "~/Music"}}
    yield "root string", "just a string"
    yield "root integer", 7


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, value in values():
        stem = os.path.join(out, "values-" + name.replace(" ", "-"))
        with open(stem + ".xml", "wb") as f:
            plistlib.dump(value, f, sort_keys=False)
        with open(stem + ".bplist", "wb") as f:
            plistlib.dump(value, f, fmt=plistlib.FMT_BINARY, sort_keys=False)
    # UIDs exist only in the binary format.
    with open(os.path.join(out, "values-uids.bplist"), "wb") as f:
        plistlib.dump({"$objects": [plistlib.UID(0), plistlib.UID(255), plistlib.UID(70000)],
                       "$top": {"root": plistlib.UID(1)}}, f, fmt=plistlib.FMT_BINARY)
    # Characters XML 1.0 cannot carry: written with a stand-in of the same
    # UTF-16 length, which is then replaced in the file's bytes.
    for label, unit in (("surrogate", b"\xd8\x00"), ("escape", b"\x00\x1b"),
                        ("fffe", b"\xff\xfe")):
        data = plistlib.dumps({"key": "x\u00e9y", "\u00e9": ["\u00e9"]}, fmt=plistlib.FMT_BINARY)
        with open(os.path.join(out, "values-unwritable-%s.bplist" % label), "wb") as f:
            f.write(data.replace(b"\x00\xe9", unit))


if __name__ == "__main__":
    main()
