"""Binary property lists that plist-dump --binary and library-snapshot write,
one of each width class, read back by readers none of us wrote: python3's
plistlib, and the Rust plist crate, which refuses offset and reference
widths other than 1, 2, 4 and 8 bytes. The crate's reader is a small cargo
program built offline from Debian's packaged crates (librust-plist-dev);
without cargo or the crates that part is skipped with a message.
"""
import os
import plistlib
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "support"))
import tools  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEBIAN_CRATES = "/usr/share/cargo/registry"


def rust_reader():
    """The built reader program, or (None, why it is missing)."""
    cargo = shutil.which("cargo")
    if cargo is None:
        return None, "no cargo (Debian package cargo)"
    crates = os.listdir(DEBIAN_CRATES) if os.path.isdir(DEBIAN_CRATES) else []
    if not any(n.startswith("plist-") for n in crates):
        return None, "no plist crate in %s (Debian package librust-plist-dev)" % DEBIAN_CRATES
    # One build for every build tree; cargo locks the directory while it builds.
    work = os.path.join(tempfile.gettempdir(), "fwkit-rust-plist-reader-%d" % os.getuid())
    home = os.path.join(work, "cargo-home")
    project = os.path.join(work, "project")
    os.makedirs(home, exist_ok=True)
    with open(os.path.join(home, "config.toml"), "w") as f:
        f.write('[source.crates-io]\nreplace-with = "debian"\n'
                '[source.debian]\ndirectory = "%s"\n' % DEBIAN_CRATES)
    # Copied, so that cargo's lock file stays out of the source tree.
    shutil.copytree(os.path.join(HERE, "rust_reader"), project, dirs_exist_ok=True)
    env = dict(os.environ, CARGO_HOME=home)
    r = subprocess.run([cargo, "build", "--offline", "--quiet", "--manifest-path",
                        os.path.join(project, "Cargo.toml"), "--target-dir",
                        os.path.join(work, "target")], env=env, stderr=subprocess.PIPE,
                       timeout=900)
    if r.returncode != 0:
        return None, "cargo build failed: " + r.stderr.decode(errors="replace")[-2000:]
    return os.path.join(work, "target", "debug", "rust-plist-reader"), None


def trailer(data):
    """Offset width, reference width, object count, offset table position."""
    t = data[-32:]
    return t[6], t[7], int.from_bytes(t[8:16], "big"), int.from_bytes(t[24:32], "big")


def snapshot_of(scratch, tracks):
    music = os.path.join(scratch.path, "Music", "iTunes")
    os.makedirs(music, exist_ok=True)
    library = {"Tracks": {str(i): {"Name": "Track %d" % i, "Location": "file:///m/%d.mp3" % i}
                          for i in range(tracks)}}
    with open(os.path.join(music, "iTunes Music Library.xml"), "wb") as f:
        plistlib.dump(library, f)
    r = scratch.run("library-snapshot")
    assert r.returncode == 0, r.stderr
    with open(os.path.join(scratch.path, "FwLibraryCore.plist"), "rb") as f:
        return f.read()


class Widths(unittest.TestCase):
    def test_every_width_class_reads_back_everywhere(self):
        reader, missing = rust_reader()
        if missing:
            print("skip the Rust plist crate: " + missing)
        # What, the value, and the offset and reference widths it must get:
        # the last three had 3-byte widths once.
        cases = [
            ("under 256 bytes", {"a": 1}, (1, 1)),
            ("under 64 KiB", list(range(300)), (2, 2)),
            ("offsets past 64 KiB, three objects", ["x" * 70000, "y"], (4, 1)),
            ("references past 65,535", list(range(70000)), (4, 4)),
        ]
        with tools.Scratch() as s:
            files = []
            for what, value, widths in cases:
                src, out = s.file("in.plist", plistlib.dumps(value)), os.path.join(s.path, "out")
                r = s.run("plist-dump", "--binary", "-o", out, src)
                self.assertEqual(r.returncode, 0, r.stderr)
                with open(out, "rb") as f:
                    files.append((what, value, widths, f.read()))
            expected = {"playlists": [], "tunesToPaths": {
                "track %d" % i: "/m/%d.mp3" % i for i in range(4000)},
                "namesToParentPaths": {}, "sizesToNames": {}}
            files.append(("a snapshot past 64 KiB", expected, (4, 2), snapshot_of(s, 4000)))

            for what, value, widths, data in files:
                with self.subTest(what):
                    offset_width, ref_width, count, table = trailer(data)
                    self.assertEqual((offset_width, ref_width), widths)
                    self.assertEqual(table + count * offset_width + 32, len(data))
                    self.assertEqual(plistlib.loads(data), value)
                    path = s.file("check.bplist", data)
                    self.assertEqual(s.run("plist-dump", "--check", path).returncode, 0)
                    if reader:
                        r = subprocess.run([reader, path], stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, timeout=120)
                        self.assertEqual(r.returncode, 0, r.stderr)
                        self.assertEqual(plistlib.loads(r.stdout), value)


if __name__ == "__main__":
    unittest.main()
