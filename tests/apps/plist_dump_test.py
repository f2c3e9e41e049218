"""plist-dump as a user meets it: options and exit statuses, conversion to
a file that appears whole or not at all, the refusal of what XML cannot
carry, and round trips that python3's plistlib reads back as it read the
original."""

import os
import plistlib
import pty
import re
import stat
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "platform", "plist"))
import tools  # noqa: E402
from corpus_test import DELIBERATE, plistlib_view  # noqa: E402

GOOD = plistlib.dumps({"name": "Zoë", "n": 7, "list": [True, 1.5]}, fmt=plistlib.FMT_BINARY)
# U+001B in a key, as key-equivalent preferences hold it, and U+0001 in a string.
ESCAPED = {"NSUserKeyEquivalents": {"Quit\x1b@q": "x"}, "list": ["ok", "a\x01"]}


class Options(unittest.TestCase):
    def test_statuses_and_messages(self):
        usage = r"usage: plist-dump \[--xml \| --json \| --binary\] \[-o FILE\] FILE\n[\s\S]*"
        cases = [
            # args, status, stdout pattern, stderr pattern
            (["--help"], 0, usage, ""),
            (["--version"], 0, r"plist-dump \d+\.\d+\.\d+\n", ""),
            (["--bogus", "{good}"], 2, "", r"plist-dump: unknown option --bogus\n" + usage),
            (["-x"], 2, "", r"plist-dump: unknown option -x\n" + usage),
            ([], 2, "", r"plist-dump: no input file\n" + usage),
            (["{good}", "{good}"], 2, "", r"plist-dump: more than one input file\n" + usage),
            (["{good}", "-o"], 2, "", r"plist-dump: -o needs a file name\n" + usage),
            (["--check", "-o", "{dir}/out", "{good}"], 2, "", r"plist-dump: --check writes nothing[\s\S]*"),
            (["--check", "{good}"], 0, "", ""),
            (["--check", "{dir}/missing"], 1, "", r"plist-dump: \S*/missing: No such file or directory\n"),
            (["{dir}"], 1, "", r"plist-dump: .+\n"),
            (["--json", "{bad}"], 1, "", r"plist-dump: .+\n"),
            (["--binary", "-o", "{dir}/nodir/out", "{good}"], 1, "",
             r"plist-dump: create \S*/nodir/\.out\.\w+: No such file or directory\n"),
            (["--json", "--", "{good}"], 0, r'\{\n[\s\S]*  "name": "Zoë"\n\}\n', ""),
        ]
        with tools.Scratch() as s:
            names = {"good": s.file("good.plist", GOOD), "bad": s.file("bad.plist", b"<plist><dict>"),
                     "dir": s.path}
            for args, status, out, err in cases:
                args = [a.format(**names) for a in args]
                r = s.run("plist-dump", *args)
                with self.subTest(args=args):
                    self.assertEqual(r.returncode, status, r.stderr)
                    self.assertRegex(r.stdout.decode(), "^" + out + "$")
                    self.assertRegex(r.stderr.decode(), "^" + err + "$")
                    self.assertNotIn("out", os.listdir(s.path))

    def test_a_failed_write_is_no_success(self):
        with tools.Scratch() as s:
            good = s.file("good.plist", GOOD)
            for args in (["--xml", good], ["--json", good], ["--binary", good], ["--help"]):
                with open("/dev/full", "wb") as full, self.subTest(args=args):
                    r = s.run("plist-dump", *args, stdout=full)
                    self.assertEqual(r.returncode, 1, r.stderr)

    def test_binary_never_goes_to_a_terminal(self):
        with tools.Scratch() as s:
            good = s.file("good.plist", GOOD)
            for mode, status in (("--binary", 2), ("--xml", 0)):
                leader, follower = pty.openpty()
                try:
                    r = s.run("plist-dump", mode, good, stdout=follower)
                    os.set_blocking(leader, False)
                    try:
                        shown = os.read(leader, 65536)
                    except BlockingIOError:
                        shown = b""
                finally:
                    os.close(leader)
                    os.close(follower)
                with self.subTest(mode=mode):
                    self.assertEqual(r.returncode, status, r.stderr)
                    self.assertEqual(b"bplist" in shown, False)
                    self.assertEqual(bool(shown), status == 0)


class Conversion(unittest.TestCase):
    def test_o_replaces_the_file_whole_with_the_default_mode(self):
        value = {"name": "Zoë", "n": -7, "big": 2**64 - 1, "d": b"\x00\xff", "a": [1.5, False, {}]}
        with tools.Scratch() as s:
            src = s.file("in.plist", plistlib.dumps(value, fmt=plistlib.FMT_XML))
            out = s.file("out", b"old")
            os.chmod(out, 0o600)
            os.symlink(out, os.path.join(s.path, "link"))
            old = os.umask(0o027)
            try:
                for mode in ("--xml", "--binary", "--json"):
                    target = os.path.join(s.path, "link" if mode == "--json" else "out")
                    r = s.run("plist-dump", mode, "-o", target, src)
                    with self.subTest(mode=mode):
                        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, b"", b""))
                        self.assertEqual(stat.S_IMODE(os.lstat(target).st_mode), 0o640)
                        if mode == "--json":
                            # The link itself is replaced; what it pointed at is not written through.
                            self.assertFalse(os.path.islink(target))
                            self.assertEqual(tools.load(out), value)
                        else:
                            self.assertEqual(tools.load(target), value)
            finally:
                os.umask(old)
            self.assertEqual(sorted(os.listdir(s.path)), ["in.plist", "link", "out"])

    def test_what_xml_cannot_carry_is_refused_with_nothing_written(self):
        with tools.Scratch() as s:
            src = s.file("keys.plist", plistlib.dumps(ESCAPED, fmt=plistlib.FMT_BINARY))
            kept = s.file("kept.xml", b"earlier")
            for args in ([src], ["-o", kept, src], ["-o", os.path.join(s.path, "new.xml"), src]):
                r = s.run("plist-dump", "--xml", *args)
                with self.subTest(args=args):
                    self.assertEqual(r.returncode, 1)
                    self.assertEqual(r.stdout, b"")
                    self.assertEqual(r.stderr.decode(), "plist-dump: %s: U+001B at "
                                     '["NSUserKeyEquivalents"]["Quit\\u001b@q"] cannot be written '
                                     "in XML 1.0; use --json or --binary to keep it\n" % src)
            self.assertEqual(sorted(os.listdir(s.path)), ["kept.xml", "keys.plist"])
            with open(kept, "rb") as f:
                self.assertEqual(f.read(), b"earlier")

            r = s.run("plist-dump", "--json", src)
            self.assertEqual(r.stdout.decode(), '{\n  "NSUserKeyEquivalents": {\n    '
                             '"Quit\\u001b@q": "x"\n  },\n  "list": [\n    "ok",\n    "a\\u0001"\n  ]\n}\n')
            out = os.path.join(s.path, "back.plist")
            self.assertEqual(s.run("plist-dump", "--binary", "-o", out, src).returncode, 0)
            self.assertEqual(tools.load(out), ESCAPED)


def uids_as_xml_writes_them(value):
    """UIDs as the XML form holds them, <dict><key>CF$UID</key>..., which is
    what reads back from XML."""
    if isinstance(value, plistlib.UID):
        return {"CF$UID": value.data}
    if isinstance(value, list):
        return [uids_as_xml_writes_them(x) for x in value]
    if isinstance(value, dict):
        return {k: uids_as_xml_writes_them(x) for k, x in value.items()}
    return value


class CorpusRoundTrips(unittest.TestCase):
    """XML to binary, and binary to XML to binary as well as binary to binary,
    on every corpus file that plistlib reads; plistlib reads our output as it
    read the original. A file our readers refuse on purpose is left out, and
    one holding what XML cannot carry goes binary to binary only."""

    def test_plistlib_reads_back_what_it_read(self):
        if not os.path.isdir(tools.CORPUS):
            self.skipTest("no corpus at %r" % tools.CORPUS)
        problems, checked, direct = [], 0, 0
        with tools.Scratch() as s:
            xml, binary = os.path.join(s.path, "a.xml"), os.path.join(s.path, "b.bplist")

            def to_binary(rel, source, expected):
                r = s.run("plist-dump", "--binary", "-o", binary, source)
                if r.returncode != 0:
                    problems.append("%s: --binary: %s" % (rel, r.stderr.decode().strip()))
                elif not tools.same_to_the_second(tools.load(binary), expected):
                    problems.append("%s: plistlib reads back something else%s"
                                    % (rel, " after XML" if source == xml else ""))

            for rel in tools.corpus_files():
                path = os.path.join(tools.CORPUS, rel)
                if plistlib_view(path)[0] is None or DELIBERATE.get(rel, ("",))[0] == "refuse":
                    continue  # plistlib does not read it, or we refuse it on purpose
                expected = tools.load(path)
                checked += 1
                with open(path, "rb") as f:
                    is_binary = f.read(8) == b"bplist00"
                if not is_binary:
                    to_binary(rel, path, expected)
                    continue
                to_binary(rel, path, expected)
                r = s.run("plist-dump", "--xml", "-o", xml, path)
                if r.returncode == 0:
                    to_binary(rel, xml, uids_as_xml_writes_them(expected))
                elif b"cannot be written in XML 1.0" in r.stderr:
                    direct += 1
                else:
                    problems.append("%s: --xml: %s" % (rel, r.stderr.decode().strip()))
        self.assertGreater(checked, 50)
        self.assertEqual(problems, [], "\n".join(problems))
        print("round trips: %d files, %d binary to binary only" % (checked, direct))


if __name__ == "__main__":
    unittest.main(verbosity=2)
