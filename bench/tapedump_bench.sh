#!/usr/bin/env bash
# Times tapedump over a large tape image against od on the same file.
# Usage: bench/tapedump_bench.sh [BUILD_DIR] [BLOCKS] [SIZE]
# BUILD_DIR holds bin/tapedump (default: build); the image has BLOCKS blocks
# (default 50000) of SIZE words (default 200).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
blocks=${2:-50000}
size=${3:-200}
dump="$build/bin/tapedump"
[ -x "$dump" ] || { echo "no $dump: build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
${CXX:-g++} -O2 -o "$work/mkimage" "$here/mkimage.cpp"
"$work/mkimage" "$work/big.zelk" "$blocks" "$size"
bytes=$(stat -c %s "$work/big.zelk")

# Best of three runs, in seconds, output thrown away.
best() {
  local b="" t0 t1 t
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    t=$(( (t1 - t0) / 1000 ))
    if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
  done
  awk -v u="$b" 'BEGIN { printf "%.3f", u / 1e6 }'
}

# Sizes of the two outputs, for the record.
dout=$("$dump" "$work/big.zelk" | wc -c)
oout=$(od -A d -t x4 "$work/big.zelk" | wc -c)

td=$(best "$dump" "$work/big.zelk")
to=$(best od -A d -t x4 "$work/big.zelk")
echo "image: $blocks blocks of $size words, $bytes bytes"
echo "tapedump: ${td} s ($dout bytes out)"
echo "od -A d -t x4: ${to} s ($oout bytes out)"
awk -v a="$td" -v b="$to" 'BEGIN { printf "ratio tapedump/od: %.2f\n", a / b }'
