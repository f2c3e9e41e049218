#!/bin/sh
# Reading an iTunes library XML, side by side in one run on 100,000 tracks:
#   plist-dump --check (reads the tree, prints nothing) against python3
#   plistlib.load: at least 12x faster;
#   the dedicated reader against expat with empty handlers, both over the
#   same bytes in memory (xml-read-timing): at least 3x faster;
#   and how far each is from one memchr pass over those bytes.
# pugixml's DOM load of the same file (pugixml-load, built where pugixml is
# installed) is timed beside them, with no target.
# libplist's plistutil runs on 10,000 tracks (it is far slower). Prints time
# and peak-RSS ratios; fails when a target is missed.
set -eu
out="$FW_BENCH_OUT"
big="$out/library-100k.xml"
small="$out/library-10k.xml"
[ -f "$big" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 100000 "$big"
[ -f "$small" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 10000 "$small"
dump="$FW_BIN/plist-dump"
status=0  # a missed target fails the section once every peer has run
timing="$FW_BIN/xml-read-timing"
py="python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],\"rb\"))'"

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

hyperfine -N --warmup 1 --runs 5 --export-json "$out/xml-ours.json" "$dump --check $big" >/dev/null
hyperfine --warmup 0 --runs 3 --export-json "$out/xml-py.json" "$py $big" >/dev/null
if [ -x "$timing" ]; then
  "$timing" "$big" 5 > "$out/xml-timing.txt"
else
  echo "skip: $timing not built (it is built with the tests)"
  : > "$out/xml-timing.txt"
fi
python3 - "$(mean "$out/xml-ours.json")" "$(mean "$out/xml-py.json")" \
  "$(cpu "$out/xml-ours.json")" "$(cpu "$out/xml-py.json")" \
  "$(spread "$out/xml-ours.json")" "$(spread "$out/xml-py.json")" \
  "$(rss "$dump --check $big")" "$(rss "$py $big")" "$out/xml-timing.txt" <<'PY' || status=1
import sys
o, p, ocpu, pcpu, onoise, pnoise, orss, prss = map(float, sys.argv[1:9])
ok = True
print("xml read 100k: plist-dump --check %.2fs, plistlib %.2fs: %.1fx faster (target >= 12)"
      " [noise %.0f%% / %.0f%%]" % (o, p, p / o, 100 * onoise, 100 * pnoise))
ok &= p / o >= 12
# CPU time is steadier than wall time on a shared machine.
print("xml read 100k: CPU %.2fs vs %.2fs: %.1fx less" % (ocpu, pcpu, pcpu / ocpu))
print("xml read 100k: peak RSS %.0f MB vs %.0f MB: %.2fx" % (orss / 1024, prss / 1024, orss / prss))
t = {}
for line in open(sys.argv[9]):
    name, best, median = line.split()
    t[name] = (float(best), float(median))
if t:
    f, e, m, tree = t["fast"], t["expat"], t["memchr"], t["tree"]
    print("xml read 100k in memory: dedicated reader %.3fs, expat with empty handlers %.3fs:"
          " %.1fx faster (median %.1fx) (target >= 3)" % (f[0], e[0], e[0] / f[0], e[1] / f[1]))
    ok &= e[0] / f[0] >= 3
    print("xml read 100k in memory: memchr floor %.3fs; dedicated reader %.1fx it, expat %.1fx,"
          " tree %.1fx, plist-dump --check %.1fx" % (m[0], f[0] / m[0], e[0] / m[0],
                                                     tree[0] / m[0], o / m[0]))
sys.exit(0 if ok else 1)
PY

pugi="$FW_BIN/pugixml-load"
if [ -x "$pugi" ]; then
  hyperfine -N --warmup 1 --runs 5 --export-json "$out/xml-pugi.json" \
    "$dump --check $big" "$pugi $big" >/dev/null
  python3 - "$out/xml-pugi.json" "$(rss "$dump --check $big")" "$(rss "$pugi $big")" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
o, p = r[0]["mean"], r[1]["mean"]
orss, prss = float(sys.argv[2]), float(sys.argv[3])
print("xml read 100k: plist-dump --check %.2fs, pugixml DOM load %.2fs: %.2fx its time;"
      " peak RSS %.0f MB vs %.0f MB: %.2fx" % (o, p, o / p, orss / 1024, prss / 1024, orss / prss))
PY
else
  echo "skip: $pugi not built (pugixml is not installed)"
fi

if command -v plistutil >/dev/null 2>&1; then
  hyperfine -N --runs 3 --export-json "$out/xml-ours-10k.json" "$dump --check $small" >/dev/null
  hyperfine -N --runs 1 --export-json "$out/xml-plistutil.json" \
    "plistutil -i $small -o /dev/null" >/dev/null
  o=$(mean "$out/xml-ours-10k.json")
  p=$(mean "$out/xml-plistutil.json")
  python3 -c 'import sys; o,p=map(float,sys.argv[1:]); print("xml read 10k: plist-dump %.3fs, plistutil %.2fs: %.0fx faster" % (o, p, p/o))' "$o" "$p"
fi
exit $status
