"""The manual pages render without a warning, document what each program
reads, writes and exits with, and list exactly the options --help lists."""

import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import tools  # noqa: E402

MAN_DIR = os.path.join(os.environ.get("FW_BUILD_DIR", "build"), "man")
PROGRAMS = {
    # program: names its page must mention, beyond its options
    "library-snapshot": ["HOME", "TMPDIR", "XDG_RUNTIME_DIR", "FWKIT_WALK_THREADS",
                         "FwLibraryCore.plist", "iTunes Music Library.xml", "Library/Preferences/"],
    "plist-dump": ["HOME", "TMPDIR", "XDG_RUNTIME_DIR", "FWKIT_WALK_THREADS"],
}
SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES", "ENVIRONMENT", "EXIT STATUS"]


def page(program):
    with open(os.path.join(MAN_DIR, program + ".1"), encoding="utf-8") as f:
        return f.read()


def rendered(program):
    r = subprocess.run(["groff", "-man", "-ww", "-Tutf8", os.path.join(MAN_DIR, program + ".1")],
                       capture_output=True, text=True)
    return r


def man_options(source):
    """The options an OPTIONS section gives a paragraph: .TP then .B --x or .BI -o."""
    section = source.split('.SH OPTIONS', 1)[1].split("\n.SH ", 1)[0]
    found = re.findall(r"^\.TP\n\.BI? (\S+)", section, re.M)
    return sorted(o.replace("\\-", "-").strip('"') for o in found)


def help_options(text):
    """The options --help lists: an indented line that starts with a dash."""
    return sorted(re.findall(r"^ {2}(-\S*)", text, re.M))


class ManPages(unittest.TestCase):
    def test_render_without_warnings(self):
        for program in PROGRAMS:
            with self.subTest(program=program):
                r = rendered(program)
                self.assertEqual((r.returncode, r.stderr), (0, ""))
                self.assertIn(program.upper(), r.stdout)

    def test_document_sections_files_and_environment(self):
        for program, names in PROGRAMS.items():
            source = page(program)
            text = re.sub(r"\s+", " ", re.sub(r".\x08", "", rendered(program).stdout))
            with self.subTest(program=program):
                for section in SECTIONS:
                    self.assertRegex(source, r'(?m)^\.SH "?%s"?$' % section)
                for name in names:
                    self.assertIn(name, text)
                for status in ("0", "1", "2"):
                    self.assertRegex(source.split('.SH "EXIT STATUS"')[1], r"\.TP\n\.B %s\n" % status)
                self.assertNotRegex(source, r"@[A-Z_]+@")  # every placeholder filled

    def test_list_the_options_help_lists(self):
        with tools.Scratch() as s:
            for program in PROGRAMS:
                r = s.run(program, "--help")
                with self.subTest(program=program):
                    self.assertEqual(r.returncode, 0)
                    listed = help_options(r.stdout.decode())
                    self.assertIn("--help", listed)
                    self.assertEqual(man_options(page(program)), listed)


if __name__ == "__main__":
    unittest.main(verbosity=2)
