#!/bin/sh
# The whole library-snapshot run on a home holding only a 100,000-track
# iTunes library, against python3 doing nothing but plistlib.load of the same
# file, side by side in one run. Prints time and peak-RSS ratios.
set -eu
out="$FW_BENCH_OUT"
big="$out/library-100k.xml"
[ -f "$big" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 100000 "$big"
home="$out/itunes-home"
rm -rf "$home"
mkdir -p "$home/Music/iTunes" "$home/tmp"
cp "$big" "$home/Music/iTunes/iTunes Music Library.xml"
snap="env HOME=$home TMPDIR=$home/tmp $FW_BIN/library-snapshot"
py="python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],\"rb\"))'"

mean() {  # mean seconds of a hyperfine JSON export
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' "$1"
}
rss() {  # peak RSS in KB of one run
  /usr/bin/time -f %M sh -c "$1" 2>&1 >/dev/null | tail -n 1
}

hyperfine -N --warmup 1 --runs 5 --export-json "$out/itunes-ours.json" "$snap" >/dev/null
hyperfine --warmup 0 --runs 3 --export-json "$out/itunes-py.json" "$py $big" >/dev/null
ours=$(mean "$out/itunes-ours.json")
theirs=$(mean "$out/itunes-py.json")
ours_rss=$(rss "$snap 2>/dev/null")
py_rss=$(rss "$py $big")
python3 - "$ours" "$theirs" "$ours_rss" "$py_rss" <<'PY'
import sys
o, p, orss, prss = map(float, sys.argv[1:])
print("itunes scan 100k: library-snapshot %.2fs, plistlib.load %.2fs: %.1fx faster"
      " (target >= 5, aim 10)" % (o, p, p / o))
print("itunes scan 100k: peak RSS %d KB vs %d KB: %.2fx (target <= 0.75)"
      % (orss, prss, orss / prss))
PY
rm -rf "$home"
