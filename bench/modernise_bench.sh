#!/usr/bin/env bash
# Times modernise on a generated listing of a million lines, side by side with
# sed doing only the two escapes ("<" and "g") on the same file.
# usage: bench/modernise_bench.sh [BUILD_DIR] [LINES]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
lines=${2:-1000000}
prog=$build/bin/modernise
[ -x "$prog" ] || { echo "modernise is not built in $build" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
listing=$tmp/listing.txt

# Procedures of 40 lines each: a PROCR line, instruction lines with operation
# numbers, figures, references to earlier procedures and remarks with "g" and
# "<", then the END line and one index line per procedure.
awk -v n="$lines" 'BEGIN {
  procs = int((n - 1) / 41); if (procs < 1) procs = 1; if (procs > 899) procs = 899
  per = int((n - 1 - procs) / procs)
  split("0 1 2 3 6 40 42 43 56 70 73 76 80 81 82 104 118 119 127 128 150 154", ops, " ")
  seq = 0
  for (p = 0; p < procs; p++) {
    num = 100 + p
    loc = 10000 + p * 100
    printf "%05d     %05d     PROCR  %3d  PROCEDURE NUMBER %d\n", ++seq % 100000, loc, num, num
    for (i = 1; i < per; i++) {
      op = ops[(seq % 22) + 1]
      ref = (i % 3 == 0) ? sprintf("%3d", 100 + (seq % (p + 1))) : "   "
      rem = (i % 5 == 0) ? "IF COUNT g LIMIT SKIP" : ((i % 7 == 0) ? "WHEN A < 0 TAKE BRANCH" : "STEP THE WORKING TOTAL")
      printf "%05d     %05d    %-3s WORK%s MODE     %d  %d  %s\n", ++seq % 100000, loc + i % 100, op, ref, seq % 2, seq % 4, rem
    }
  }
  printf "%05d     %05d     END\n\n", ++seq % 100000, loc + 99
  for (p = 0; p < procs; p++)
    printf " PROCEDURE %3d  PROCEDURE NUMBER %-6d         %05d\n", 100 + p, 100 + p, 10000 + p * 100
}' >"$listing"

count=$(wc -l <"$listing")
size=$(wc -c <"$listing")
now() { date +%s.%N; }

# One timed run; prints seconds.
timeit() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null
  t1=$(now)
  awk -v a="$t0" -v c="$t1" 'BEGIN { printf "%.3f", c - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

# Best of five rounds, the three commands taking turns in each round, so that
# a busy machine slows them alike.
tm="" ta="" ts=""
for _ in 1 2 3 4 5; do
  tm=$(min "$tm" "$(timeit "$prog" "$listing" "$tmp/out.htm")")
  ta=$(min "$ta" "$(timeit "$prog" -a1 "$listing" "$tmp/out1.htm")")
  ts=$(min "$ts" "$(timeit sed -e 's/</\&lt;/g' -e 's/g/<S>\&gt;<\/S>/g' "$listing")")
done

echo "listing: $count lines, $size bytes"
echo "modernise:     $tm s"
echo "modernise -a1: $ta s"
echo "sed escapes:   $ts s"
awk -v m="$tm" -v a="$ta" -v s="$ts" 'BEGIN {
  printf "ratio modernise/sed: %.2f (with -a1: %.2f)\n", m / s, a / s }'
