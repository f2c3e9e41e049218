"""The tree keeps its layers: no source includes a folder above its own, and
no source folder grows into a crowd of loose files."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "support"))
from tools import SOURCE  # noqa: E402

CORE = ("platform/strings/", "platform/containers/", "platform/files/",
        "platform/diagnostics/", "platform/plist/")
RUNTIME = CORE + ("platform/runtime/",)
GRAPHICS = RUNTIME + ("platform/graphics/",)

# What the sources below each folder may include, besides the system's
# headers; the longest matching folder decides.
ALLOWED = {
    "platform/": CORE,
    "platform/runtime/": RUNTIME,
    "platform/graphics/": GRAPHICS,
    "extensions/text/": CORE + ("extensions/text/",),
    "extensions/objects/": RUNTIME + ("extensions/objects/",),
    "drawing/": GRAPHICS + ("extensions/objects/", "drawing/"),
    "gtk/": GRAPHICS + ("extensions/objects/", "drawing/", "gtk/"),
    "tool/": CORE + ("extensions/text/", "tool/"),
    "apps/": CORE + ("apps/",),
}
SOURCE_ROOTS = ("platform", "extensions", "drawing", "gtk", "tool", "apps")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
MAX_LOOSE_FILES = 12


def sources():
    for root in SOURCE_ROOTS:
        for folder, _, files in os.walk(os.path.join(SOURCE, root)):
            for name in files:
                if name.endswith((".h", ".cc")):
                    path = os.path.join(folder, name)
                    with open(path, encoding="utf-8") as f:
                        yield os.path.relpath(path, SOURCE), INCLUDE.findall(f.read())


class Layout(unittest.TestCase):
    def test_no_include_runs_up_a_layer(self):
        wrong = []
        for rel, includes in sources():
            layer = max((f for f in ALLOWED if rel.startswith(f)), key=len)
            wrong += [f"{rel} includes {inc}" for inc in includes
                      if not inc.startswith(ALLOWED[layer])]
        self.assertEqual(wrong, [])

    def test_every_include_names_a_file_of_the_tree(self):
        missing = [f"{rel} includes {inc}" for rel, includes in sources()
                   for inc in includes if not os.path.isfile(os.path.join(SOURCE, inc))]
        self.assertEqual(missing, [])

    def test_no_folder_is_a_crowd(self):
        crowded = {}
        for root in SOURCE_ROOTS:
            for folder, _, files in os.walk(os.path.join(SOURCE, root)):
                loose = [n for n in files if n.endswith((".h", ".cc"))]
                if len(loose) > MAX_LOOSE_FILES:
                    crowded[os.path.relpath(folder, SOURCE)] = len(loose)
        self.assertEqual(crowded, {})


if __name__ == "__main__":
    unittest.main()
