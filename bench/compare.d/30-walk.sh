#!/bin/sh
# The whole library-snapshot run on a home whose preference file names one
# generated tree (about 200,000 files in 20,000 directories, large sparse
# files, links to files and directories, dangling links, hidden
# directories), against find and bfs printing size, folder and name of every
# entry of the same tree, side by side in one run. Prints time ratios, system
# calls per entry and peak RSS per recorded file.
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
snap="env HOME=$home TMPDIR=$home/tmp $FW_BIN/library-snapshot"
fmt="'%s %h %f\n'"

mean() {  # mean seconds of one command of a hyperfine JSON export: wall, or user+system
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]
print(r["mean"] if sys.argv[3] == "wall" else r["user"] + r["system"])' "$1" "$2" "$3"
}

hyperfine -N --warmup 2 --runs 10 --export-json "$out/walk.json" \
  "$snap" "find $tree -printf $fmt" "bfs $tree -printf $fmt" >/dev/null
ours=$(mean "$out/walk.json" 0 wall)
find_s=$(mean "$out/walk.json" 1 wall)
bfs_s=$(mean "$out/walk.json" 2 wall)
ours_cpu=$(mean "$out/walk.json" 0 cpu)
find_cpu=$(mean "$out/walk.json" 1 cpu)
bfs_cpu=$(mean "$out/walk.json" 2 cpu)

# Entries the walk lists: everything in the walked folders, hidden
# directories themselves included, nothing below them or behind links.
entries=$(find "$tree" -mindepth 1 -name '.*' -type d -prune -print -o -print | wc -l)
calls=0
if command -v strace >/dev/null 2>&1; then
  strace -c -f -o "$out/walk-strace.txt" $snap 2>/dev/null
  calls=$(awk '$NF == "total" { print $4 }' "$out/walk-strace.txt")
fi
$snap 2>"$out/walk-log.txt"
recorded=$(sed -n 's/.*FwLibraryController: fs: //p' "$out/walk-log.txt" | head -n 1)
rss=$(/usr/bin/time -f %M $snap 2>&1 >/dev/null | tail -n 1)

python3 - "$ours" "$find_s" "$bfs_s" "$ours_cpu" "$find_cpu" "$bfs_cpu" \
  "$entries" "$calls" "$recorded" "$rss" <<'PY'
import sys
o, f, b, oc, fc, bc = map(float, sys.argv[1:7])
entries, calls, recorded, rss = map(int, sys.argv[7:11])
print("walk 200k: library-snapshot %.3fs, find %.3fs, bfs %.3fs" % (o, f, b))
print("walk 200k: %.2fx find's time (target <= 0.75), %.2fx bfs's (target <= 0.9)"
      % (o / f, o / b))
print("walk 200k: user+system %.3fs, %.3fs, %.3fs: %.2fx find's, %.2fx bfs's"
      % (oc, fc, bc, oc / fc, oc / bc))
if calls:
    print("walk 200k: %d system calls for %d entries: %.3f per entry (target <= 1.3)"
          % (calls, entries, calls / entries))
print("walk 200k: peak RSS %d KB for %d recorded names: %.0f bytes each (target <= 300)"
      % (rss, recorded, rss * 1024 / recorded))
PY
rm -rf "$home"
