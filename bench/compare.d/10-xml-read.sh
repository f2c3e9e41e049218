#!/bin/sh
# Reading an iTunes library XML: plist-dump --check (reads, prints nothing)
# against python3 plistlib.load on 100,000 tracks, and libplist's plistutil
# on 10,000 tracks (it is far slower). Prints time and peak-RSS ratios.
set -eu
out="$FW_BENCH_OUT"
big="$out/library-100k.xml"
small="$out/library-10k.xml"
[ -f "$big" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 100000 "$big"
[ -f "$small" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 10000 "$small"
dump="$FW_BIN/plist-dump"
py="python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],\"rb\"))'"

mean() {  # mean seconds of a hyperfine JSON export
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' "$1"
}
cpu() {  # mean user + system seconds of a hyperfine JSON export
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print(r["user"]+r["system"])' "$1"
}
rss() {  # peak RSS in KB of one run
  /usr/bin/time -f %M sh -c "$1" 2>&1 >/dev/null | tail -n 1
}

hyperfine -N --warmup 1 --runs 3 --export-json "$out/xml-ours.json" "$dump --check $big" >/dev/null
hyperfine --warmup 0 --runs 3 --export-json "$out/xml-py.json" "$py $big" >/dev/null
ours=$(mean "$out/xml-ours.json")
theirs=$(mean "$out/xml-py.json")
ours_cpu=$(cpu "$out/xml-ours.json")
theirs_cpu=$(cpu "$out/xml-py.json")
ours_rss=$(rss "$dump --check $big")
py_rss=$(rss "$py $big")
python3 - "$ours" "$theirs" "$ours_cpu" "$theirs_cpu" "$ours_rss" "$py_rss" <<'PY'
import sys
o, p, ocpu, pcpu, orss, prss = map(float, sys.argv[1:])
print("xml read 100k: plist-dump %.2fs, plistlib %.2fs: %.1fx faster (target >= 5)" % (o, p, p / o))
# CPU time is steadier than wall time on a shared machine.
print("xml read 100k: CPU %.2fs vs %.2fs: %.1fx less" % (ocpu, pcpu, pcpu / ocpu))
print("xml read 100k: peak RSS %.0f MB vs %.0f MB: %.2fx (target <= 0.75)" % (orss / 1024, prss / 1024, orss / prss))
PY

if command -v plistutil >/dev/null 2>&1; then
  hyperfine -N --runs 3 --export-json "$out/xml-ours-10k.json" "$dump --check $small" >/dev/null
  hyperfine -N --runs 1 --export-json "$out/xml-plistutil.json" \
    "plistutil -i $small -o /dev/null" >/dev/null
  o=$(mean "$out/xml-ours-10k.json")
  p=$(mean "$out/xml-plistutil.json")
  python3 -c 'import sys; o,p=map(float,sys.argv[1:]); print("xml read 10k: plist-dump %.3fs, plistutil %.2fs: %.0fx faster" % (o, p, p/o))' "$o" "$p"
fi
