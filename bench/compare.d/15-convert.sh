#!/bin/sh
# Converting the 100,000-track library: plist-dump --xml, --json and
# --binary -o write as they go, so their peak RSS stays close to that of
# --check, which only reads (--binary adds the numbering of the objects).
# Prints the ratios to --check, and fails when any of them passes 1.15.
set -eu
out="$FW_BENCH_OUT"
big="$out/library-100k.xml"
[ -f "$big" ] || python3 "$FW_TOP/bench/gen-itunes-library.py" 100000 "$big"
dump="$FW_BIN/plist-dump"

rss() {  # peak RSS in KB of one run, its output thrown away
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}

check=$(rss "$dump" --check "$big")
xml=$(rss "$dump" --xml "$big")
json=$(rss "$dump" --json "$big")
binary=$(rss "$dump" --binary -o "$out/library-100k.bplist" "$big")
hyperfine -N --warmup 1 --runs 3 --export-json "$out/convert.json" \
  "$dump --check $big" "$dump --xml -o $out/library-100k.out.xml $big" >/dev/null
python3 - "$check" "$xml" "$json" "$binary" "$out/convert.json" <<'PY'
import json, sys
check, xml, jsn, binary = map(float, sys.argv[1:5])
results = json.load(open(sys.argv[5]))["results"]
ok = True
for name, kb in (("--xml", xml), ("--json", jsn), ("--binary -o", binary)):
    ratio = kb / check
    ok &= ratio <= 1.15
    print("convert 100k: %s peak RSS %.0f MB vs --check %.0f MB: %.3fx (target <= 1.15)"
          % (name, kb / 1024, check / 1024, ratio))
print("convert 100k: --xml -o takes %.2fx the time of --check"
      % (results[1]["mean"] / results[0]["mean"]))
sys.exit(0 if ok else 1)
PY
