#!/bin/sh
# Writing a 1,000,000-entry string-to-string binary property list whose values
# repeat (100 names per folder), ours against python3 plistlib.dumps, in one
# run. Both sides time only the write of a dictionary already in memory; the
# same dictionary is built on both sides, and plistlib must read ours back equal.
# Targets: at least 10x faster, and a file no larger than plistlib's.
set -eu
n="${FW_BINARY_WRITE_ENTRIES:-1000000}"
timing="$FW_BIN/plist-write-timing"
if [ ! -x "$timing" ]; then
  echo "skip: $timing not built (it is built with the tests)"
  exit 0
fi
ours_file="$FW_BENCH_OUT/binary-write-ours.bplist"
ours=$("$timing" "$n" "$ours_file")
python3 - "$n" "$ours_file" "$ours" <<'PY'
import plistlib, sys, time
n, ours_file = int(sys.argv[1]), sys.argv[2]
ours_s, ours_bytes = float(sys.argv[3].split()[0]), int(sys.argv[3].split()[1])
d = {}
for i in range(n):
    if i % 100 == 0:
        j = i // 100
        folder = "~/Music/Library/Artist %04d/Album %02d" % (j // 20, j % 20)
    d[("Café " if i % 100 == 7 else "") + "track %07d.m4a" % i] = folder
start = time.perf_counter()
theirs = plistlib.dumps(d, fmt=plistlib.FMT_BINARY, sort_keys=False)
theirs_s = time.perf_counter() - start
with open(ours_file, "rb") as f:
    same = plistlib.load(f) == d
print("ours     %.3f s  %d bytes" % (ours_s, ours_bytes))
print("plistlib %.3f s  %d bytes" % (theirs_s, len(theirs)))
print("speed-up %.1fx (target >= 10)   size ratio %.3f (target <= 1)   plistlib reads ours back: %s"
      % (theirs_s / ours_s, ours_bytes / len(theirs), "equal" if same else "DIFFERENT"))
sys.exit(0 if same and theirs_s / ours_s >= 10 and ours_bytes <= len(theirs) else 1)
PY
