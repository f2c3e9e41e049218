#!/usr/bin/env python3
"""Builds the folder-scan benchmark tree: DIRS directories holding about
FILES files, some hundred sparse large files, links to files and to
directories, dangling links and hidden directories. The same arguments give
the same tree.

    gen-tree.py OUT [FILES [DIRS]]     (defaults 200000 and 20000)

Prints what it made, including the number of files the walk records."""
import os
import random
import sys


def main():
    out = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 200000
    dirs = int(sys.argv[3]) if len(sys.argv) > 3 else 20000
    rng = random.Random(20261209)
    os.makedirs(out, exist_ok=True)

    # A three-level layout like downloads sorted into folders: a few top
    # folders, a few hundred below them, the rest below those.
    top = max(1, round(dirs ** (1 / 3)))
    mid = max(1, round((dirs / top) ** 0.5))
    paths = []
    for a in range(top):
        pa = os.path.join(out, "folder-%02d" % a)
        paths.append(pa)
        for b in range(mid):
            pb = os.path.join(pa, "album %03d" % b)
            paths.append(pb)
    leaves_per_mid = max(1, (dirs - len(paths)) // (top * mid))
    for pb in list(paths):
        if pb.count(os.sep) - out.count(os.sep) != 2:
            continue
        for c in range(leaves_per_mid):
            paths.append(os.path.join(pb, "disc-%d" % c))
    for p in paths:
        os.makedirs(p, exist_ok=True)

    per_dir = files // len(paths)
    extra = files - per_dir * len(paths)
    common = ["cover.jpg", "README", ".DS_Store"]
    recorded = set()
    made = 0
    large = 0
    links = 0
    dangling = 0
    hidden = 0
    for i, p in enumerate(paths):
        count = per_dir + (1 if i < extra else 0)
        for j in range(count):
            if j < len(common) and i % 4 == 0:
                name = common[j]
            else:
                name = "track %05d-%02d %s.mp3" % (i, j, "x" * rng.randrange(0, 12))
            fd = os.open(os.path.join(p, name), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
            os.write(fd, b"x" * rng.randrange(0, 64))
            os.close(fd)
            recorded.add(name)
            made += 1
        if i % 200 == 7 and large < 100:
            name = "movie-%d.mkv" % i
            size = 10485760 + rng.choice([1, 4096, 1 << 20, 1 << 30]) + large % 7
            with open(os.path.join(p, name), "wb") as f:
                f.truncate(size)
            recorded.add(name)
            made += 1
            large += 1
        if i % 40 == 3:
            os.symlink(os.path.join(paths[(i * 7) % len(paths)]), os.path.join(p, "dir-link"))
            links += 1
        if i % 40 == 13:
            target = os.path.join(p, os.listdir(p)[0])
            if os.path.isfile(target):
                os.symlink(target, os.path.join(p, "file-link-%d" % i))
                recorded.add("file-link-%d" % i)
                links += 1
        if i % 50 == 21:
            os.symlink("no-such-target-%d" % i, os.path.join(p, "dangling-%d" % i))
            dangling += 1
        if i % 100 == 42:
            h = os.path.join(p, ".hidden")
            os.makedirs(h, exist_ok=True)
            for k in range(5):
                open(os.path.join(h, "unseen-%d" % k), "wb").close()
            hidden += 1
    print("tree %s: %d directories, %d files (%d large), %d links, %d dangling, "
          "%d hidden directories, %d names recorded"
          % (out, len(paths), made, large, links, dangling, hidden, len(recorded)))


if __name__ == "__main__":
    main()
