#!/bin/sh
# benchmark_tree_walk.sh CHECKED_BIN REFERENCE_BIN SOURCE_DIR
# Walks the benchmark tree (made once, shared with bench/compare) with the
# checked build's library-snapshot on 8 threads and on the automatic count;
# each run must log no sanitizer report and write the bytes the reference
# build writes on one thread.
set -eu
checked="$1/library-snapshot"
reference="$2/library-snapshot"
top="$3"
if [ ! -x "$reference" ]; then
  echo "no reference build at $2: build the default preset first; skipped"
  exit 77
fi
out="${FW_BENCH_OUT:-$top/bench/out}"
tree="$out/walk-tree"
mkdir -p "$out"
if [ ! -f "$out/walk-tree.done" ]; then
  rm -rf "$tree"
  python3 "$top/bench/gen-tree.py" "$tree" 200000 20000
  touch "$out/walk-tree.done"
fi
home=$(mktemp -d "${TMPDIR:-/tmp}/walk-check-XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Library/Preferences" "$home/tmp"
cat >"$home/Library/Preferences/com.fetchwright.Fetchwright.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>save_directory</key><string>$tree</string></dict></plist>
PLIST
run() {  # program, thread count
  env HOME="$home" TMPDIR="$home/tmp" FWKIT_WALK_THREADS="$2" "$1" 2>"$home/log"
}
run "$reference" 1
cp "$home/tmp/FwLibraryCore.plist" "$home/reference.plist"
status=0
for threads in 8 0; do
  if ! run "$checked" "$threads" || grep -q "Sanitizer" "$home/log"; then
    echo "threads $threads: the checked build failed or reported:"
    cat "$home/log"
    status=1
  elif ! cmp -s "$home/tmp/FwLibraryCore.plist" "$home/reference.plist"; then
    echo "threads $threads: the snapshot differs from the reference"
    status=1
  else
    echo "threads $threads: same bytes, no report"
  fi
done
exit $status
