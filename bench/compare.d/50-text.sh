#!/bin/sh
# Markup conversions against python3 on the same 10 MB text, best of 5 each:
# html.unescape, xml.sax.saxutils.escape (plus quotes, as ours escapes them),
# urllib.parse.quote and unquote. Target: ours at least 5 times faster.
set -eu
bin="$FW_BIN/text_compare_bench"
[ -x "$bin" ] || { echo "text_compare_bench not built; skipping"; exit 0; }
plain="$FW_BENCH_OUT/text-plain.txt"
quoted="$FW_BENCH_OUT/text-quoted.txt"
python3 - "$plain" "$quoted" <<'PY'
import sys, urllib.parse
piece = 'Fish &amp; Chips <b>caf&eacute;</b> a%20b "q" &#38; \u00e9t\u00e9 x<y '
text = (piece * (10 * 1024 * 1024 // len(piece) + 1))[:10 * 1024 * 1024]
open(sys.argv[1], 'w', encoding='utf-8').write(text)
open(sys.argv[2], 'w', encoding='utf-8').write(urllib.parse.quote(text, safe="-_.!~*'();/?:@=+$,#"))
PY
peer() {
  python3 - "$1" "$2" <<'PY'
import sys, time, html, urllib.parse
from xml.sax.saxutils import escape
op, path = sys.argv[1], sys.argv[2]
text = open(path, encoding='utf-8').read()
fns = {
    'unescape': html.unescape,
    'xmlescape': lambda t: escape(t, {"'": '&apos;', '"': '&quot;'}),
    'quote': lambda t: urllib.parse.quote(t, safe="-_.!~*'();/?:@=+$,#"),
    'unquote': urllib.parse.unquote,
}
best = 1e9
for _ in range(5):
    start = time.perf_counter(); fns[op](text); best = min(best, time.perf_counter() - start)
print('%.6f' % best)
PY
}
for case in "unescape $plain" "xmlescape $plain" "quote $plain" "unquote $quoted"; do
  set -- $case
  ours=$("$bin" "$1" "$2" | cut -d' ' -f1)
  theirs=$(peer "$1" "$2")
  awk -v op="$1" -v a="$ours" -v b="$theirs" \
    'BEGIN { printf "%-10s ours %.4f s  python3 %.4f s  ratio %.1fx\n", op, a, b, b / a }'
done
