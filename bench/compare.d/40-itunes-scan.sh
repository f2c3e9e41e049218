#!/bin/sh
# The whole library-snapshot run on a home holding only a 100,000-track
# iTunes library, against python3 doing nothing but plistlib.load of the same
# file, side by side in one run: at least 12x faster (aim 20x), at most 0.25x
# plistlib's peak RSS. Also how far the run is from one memchr pass over the
# file's bytes. Prints time and peak-RSS ratios; fails when a target is missed.
set -eu
out="$FW_BENCH_OUT"
big="$out/library-100k.xml"
[ -f "$big" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 100000 "$big"
home="$out/itunes-home"
rm -rf "$home"
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Music/iTunes" "$home/tmp"
cp "$big" "$home/Music/iTunes/iTunes Music Library.xml"
snap="env HOME=$home TMPDIR=$home/tmp $FW_BIN/library-snapshot"
py="python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],\"rb\"))'"
timing="$FW_BIN/xml-read-timing"

mean() {  # mean seconds of a hyperfine JSON export
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' "$1"
}
spread() {  # (max - min) / mean of a hyperfine JSON export: the run-to-run noise
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print((max(r["times"])-min(r["times"]))/r["mean"])' "$1"
}
cpu() {  # mean user + system seconds of a hyperfine JSON export
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print(r["user"]+r["system"])' "$1"
}
rss() {  # peak RSS in KB of one run
  /usr/bin/time -f %M sh -c "$1" 2>&1 >/dev/null | tail -n 1
}

hyperfine -N --warmup 1 --runs 5 --export-json "$out/itunes-ours.json" "$snap" >/dev/null
hyperfine --warmup 0 --runs 3 --export-json "$out/itunes-py.json" "$py $big" >/dev/null
floor=0
if [ -x "$timing" ]; then floor=$("$timing" "$big" 5 memchr | awk '{print $2}'); fi
python3 - "$(mean "$out/itunes-ours.json")" "$(mean "$out/itunes-py.json")" \
  "$(spread "$out/itunes-ours.json")" "$(spread "$out/itunes-py.json")" \
  "$(rss "$snap 2>/dev/null")" "$(rss "$py $big")" "$floor" \
  "$(cpu "$out/itunes-ours.json")" "$(cpu "$out/itunes-py.json")" <<'PY'
import sys
o, p, onoise, pnoise, orss, prss, floor, ocpu, pcpu = map(float, sys.argv[1:])
print("itunes scan 100k: library-snapshot %.2fs, plistlib.load %.2fs: %.1fx faster"
      " (target >= 12, aim 20) [noise %.0f%% / %.0f%%]" % (o, p, p / o, 100 * onoise, 100 * pnoise))
# CPU time is steadier than wall time on a shared machine.
print("itunes scan 100k: CPU %.2fs vs %.2fs: %.1fx less" % (ocpu, pcpu, pcpu / ocpu))
print("itunes scan 100k: peak RSS %d KB vs %d KB: %.2fx (target <= 0.25)"
      % (orss, prss, orss / prss))
if floor > 0:
    print("itunes scan 100k: memchr floor %.3fs; library-snapshot %.1fx it" % (floor, o / floor))
sys.exit(0 if p / o >= 12 and orss / prss <= 0.25 else 1)
PY
