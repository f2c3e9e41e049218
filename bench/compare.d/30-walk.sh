#!/bin/sh
# The whole library-snapshot run on a home whose preference file names one
# generated tree (about 200,000 files in 20,000 directories, large sparse
# files, links to files and directories, dangling links, hidden
# directories), against find and bfs printing size, folder and name of every
# entry of the same tree, and fd (fd-find) listing every file with a size
# (it has no format to print one), side by side in one run, warm and cold. Medians
# over alternating runs. Prints time ratios, the scaling over 1, 2, 4 and 8
# walk threads, FWKIT_WALK_THREADS=1 against the bare one-thread loop
# (walk-floor), system calls per entry and peak RSS per entry.
#   FW_WALK_RUNS (default 7) and FW_WALK_COLD_RUNS (default 3) set the runs.
set -eu
out="$FW_BENCH_OUT"
tree="$out/walk-tree"
if [ ! -f "$out/walk-tree.done" ]; then
  rm -rf "$tree"
  python3 "$FW_TOP/bench/gen-tree.py" "$tree" 200000 20000
  touch "$out/walk-tree.done"
fi
home="$out/walk-home"
rm -rf "$home"
mkdir -p "$home/Library/Preferences" "$home/tmp"
cat >"$home/Library/Preferences/com.fetchwright.Fetchwright.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>save_directory</key><string>$tree</string></dict></plist>
PLIST
command -v bfs >/dev/null 2>&1 || "$FW_TOP/scripts/install-deps"
fd=$(command -v fdfind || command -v fd || true)

# Entries the walk lists: everything in the walked folders, hidden
# directories themselves included, nothing below them or behind links.
entries=$(find "$tree" -mindepth 1 -name '.*' -type d -prune -print -o -print | wc -l)
snap="$FW_BIN/library-snapshot"
calls=0
if command -v strace >/dev/null 2>&1; then
  env HOME="$home" TMPDIR="$home/tmp" strace -c -f -o "$out/walk-strace.txt" "$snap" 2>/dev/null
  calls=$(awk '$NF == "total" { print $4 }' "$out/walk-strace.txt")
  env HOME="$home" TMPDIR="$home/tmp" FWKIT_WALK_THREADS=1 \
    strace -c -f -o "$out/walk-strace-1.txt" "$snap" 2>/dev/null
  calls1=$(awk '$NF == "total" { print $4 }' "$out/walk-strace-1.txt")
fi
rss=$(env HOME="$home" TMPDIR="$home/tmp" /usr/bin/time -f %M "$snap" 2>&1 >/dev/null | tail -n 1)
rss1=$(env HOME="$home" TMPDIR="$home/tmp" FWKIT_WALK_THREADS=1 /usr/bin/time -f %M "$snap" 2>&1 \
  >/dev/null | tail -n 1)

python3 - "$tree" "$home" "$FW_BIN" "$entries" "${calls:-0}" "${calls1:-0}" "$rss" "$rss1" \
  "${FW_WALK_RUNS:-7}" "${FW_WALK_COLD_RUNS:-3}" "$fd" <<'PY'
import os, statistics, subprocess, sys, time
tree, home, bin_dir = sys.argv[1:4]
entries, calls, calls1, rss, rss1, runs, cold_runs = map(int, sys.argv[4:11])
fd = sys.argv[11]
fmt = "%s %h %f\n"

def snap(threads):
    env = dict(os.environ, HOME=home, TMPDIR=home + "/tmp")
    if threads is not None:
        env["FWKIT_WALK_THREADS"] = str(threads)
    return ([bin_dir + "/library-snapshot"], env)

commands = {
    "ours": snap(None),
    "find": (["find", tree, "-printf", fmt], None),
    "bfs": (["bfs", tree, "-printf", fmt], None),
    "1 thread": snap(1), "2 threads": snap(2), "4 threads": snap(4), "8 threads": snap(8),
    "floor": ([bin_dir + "/walk-floor", tree], None),
}
if fd:
    commands["fd"] = ([fd, "--unrestricted", "--type", "f", "--size", "+0b", ".", tree], None)

def drop_caches():
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False

def measure(n, cold):
    times = {name: [] for name in commands}
    for _ in range(n):
        for name, (argv, env) in commands.items():  # alternating, one run each
            if cold and not drop_caches():
                return None
            start = time.perf_counter()
            subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            times[name].append(time.perf_counter() - start)
    return times

def report(label, times, find_target, bfs_target):
    med = {k: statistics.median(v) for k, v in times.items()}
    spread = max((max(v) - min(v)) / statistics.median(v) for v in times.values())
    o, f, b = med["ours"], med["find"], med["bfs"]
    print("walk 200k %s: library-snapshot %.3fs, find %.3fs, bfs %.3fs (medians of %d; runs spread up to %.0f%% of their median)"
          % (label, o, f, b, len(times["ours"]), spread * 100))
    print("walk 200k %s: %.2fx find's time (target <= %.2f), %.2fx bfs's (target <= %.2f)"
          % (label, o / f, find_target, o / b, bfs_target))
    print("walk 200k %s: threads 1/2/4/8: %s; ratio to 1 thread %s" % (label,
          " ".join("%.3fs" % med[k] for k in ("1 thread", "2 threads", "4 threads", "8 threads")),
          " ".join("%.2f" % (med[k] / med["1 thread"]) for k in ("2 threads", "4 threads", "8 threads"))))
    if "fd" in med:
        print("walk 200k %s: fd %.3fs; %.2fx fd's time" % (label, med["fd"], o / med["fd"]))
    print("walk 200k %s: FWKIT_WALK_THREADS=1 %.2fx the bare one-thread loop (target <= 1.15)"
          % (label, med["1 thread"] / med["floor"]))

report("warm", measure(runs, False), 0.55, 0.6)
cold = measure(cold_runs, True)
if cold is None:
    print("walk 200k cold: skipped, the page cache cannot be dropped here (needs root)")
else:
    report("cold", cold, 0.6, 0.7)
if calls:
    print("walk 200k: %d system calls for %d entries: %.3f per entry (target <= 1.3); on one thread %.3f"
          % (calls, entries, calls / entries, calls1 / entries))
print("walk 200k: peak RSS %d KB for %d entries: %.0f bytes each (target <= 300); on one thread %.0f"
      % (rss, entries, rss * 1024 / entries, rss1 * 1024 / entries))
PY
rm -rf "$home"
