#!/usr/bin/env bash
# Emulator speed on the bundled loops: emulated instructions a second at
# verbosity 0, and fully traced (-v9) to log.txt.
#   bench/run.sh [build-dir] [--callgrind | --soak]
# With --callgrind it also counts host instructions per emulated instruction
# on the ADD loop: the difference of two runs of different lengths, so that
# start-up and loading cancel out.
set -e
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
emu=$build/bin/emulator
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

now() { date +%s.%N; }
count() { sed -n 's/.*after \([0-9]*\) instructions.*/\1/p' | tail -1; }
report() { awk -v p="$1" -v m="$2" -v n="$3" -v a="$4" -v b="$5" \
  'BEGIN { t = b - a; printf "%-9s %-7s %12d instructions %8.3f s %9.1f million/s\n", p, m, n, t, n / t / 1e6 }'; }

for p in add_loop sub_loop mul_loop; do
  t0=$(now); n=$("$emu" "$here/$p.txt" | count); t1=$(now)
  report $p "-v0" "$n" "$t0" "$t1"
  limit=2000001
  t0=$(now); "$emu" -v9 -d -a$limit "$here/$p.txt" >/dev/null || true; t1=$(now)
  report $p "-v9 -d" $((limit - 1)) "$t0" "$t1"
  rm -f log.txt
done

# The console: continue with no breakpoint, and with address breakpoints set
# (at addresses the loop never reaches, so that it runs to its end).
for b in "" "break 5000\nbreak 6000\nbreak 7000\n"; do
  t0=$(now); n=$(printf "${b}continue\nquit\n" | "$emu" -i "$here/add_loop.txt" | count); t1=$(now)
  report add_loop "-i $( [ -n "$b" ] && echo 3bp || echo 0bp)" "$n" "$t0" "$t1"
done

# The soak run: over three billion instructions (2 + 31000 x 98306), past
# the range of a 32-bit count, then the unload line with the exact count.
if [ "${2:-}" = "--soak" ] || [ "${3:-}" = "--soak" ]; then
  t0=$(now); line=$("$emu" "$here/soak.txt" | tail -1); t1=$(now)
  echo "soak: $line"
  report soak "-v0" "$(echo "$line" | count)" "$t0" "$t1"
  if [ "$(echo "$line" | count)" = 3047486002 ]; then echo "soak: count right"; else echo "soak: count WRONG"; exit 1; fi
fi

if [ "${2:-}" = "--callgrind" ] && command -v valgrind >/dev/null; then
  ir() {
    sed "s|^0/0/0 1000 .*|0/0/0 $1|" "$here/add_loop.txt" > loop$1.txt
    valgrind --tool=callgrind --callgrind-out-file=cg$1.out "$emu" loop$1.txt > run$1.txt 2>/dev/null
    echo "$(awk '/^summary:|^totals:/ {print $2; exit}' cg$1.out) $(count < run$1.txt)"
  }
  read -r i1 n1 <<< "$(ir 10)"
  read -r i2 n2 <<< "$(ir 30)"
  awk -v i1="$i1" -v i2="$i2" -v n1="$n1" -v n2="$n2" \
    'BEGIN { printf "add_loop  callgrind %.2f host instructions per emulated instruction\n", (i2 - i1) / (n2 - n1) }'
fi

# The other programs against the host's own tools.
"$here/tapedump_bench.sh" "$build"
"$here/modernise_bench.sh" "$build"
