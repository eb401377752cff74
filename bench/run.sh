#!/usr/bin/env bash
# Emulator speed on the bundled loops: emulated instructions a second at
# verbosity 0, and fully traced (-v9) to log.txt.
#   bench/run.sh [build-dir] [--callgrind | --soak | --record]
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
# (at addresses the loop never reaches, so that it runs to its end); then
# with the record of the run off (it is on unless said).
for b in "" "break 5000\nbreak 6000\nbreak 7000\n" "record off\n"; do
  t0=$(now); n=$(printf "${b}continue\nquit\n" | "$emu" -i "$here/add_loop.txt" | count); t1=$(now)
  case $b in "") m="-i 0bp" ;; record*) m="-i norec" ;; *) m="-i 3bp" ;; esac
  report add_loop "$m" "$n" "$t0" "$t1"
done

# The soak run: over three billion instructions (2 + 31000 x 98306), past
# the range of a 32-bit count, then the unload line with the exact count.
if [ "${2:-}" = "--soak" ] || [ "${3:-}" = "--soak" ]; then
  t0=$(now); line=$("$emu" "$here/soak.txt" | tail -1); t1=$(now)
  echo "soak: $line"
  report soak "-v0" "$(echo "$line" | count)" "$t0" "$t1"
  if [ "$(echo "$line" | count)" = 3047486002 ]; then echo "soak: count right"; else echo "soak: count WRONG"; exit 1; fi
fi

# The record over a run of a thousand million instructions: each command
# timed at the console (a coprocess, its answer read up to an echoed mark).
if [ "${2:-}" = "--record" ] || [ "${3:-}" = "--record" ]; then
  coproc CON { "$emu" -i "$here/record_loop.txt" 2>&1; }
  ask() {  # ask LABEL COMMAND...: the commands' answer, timed
    local label=$1 t0 t1 line
    shift
    t0=$(now)
    printf '%s\n' "$@" "echo @@" >&"${CON[1]}"
    while IFS= read -r line <&"${CON[0]}"; do
      [ "$line" = @@ ] && break
      case $line in the\ record*|*checkpoint*|*changed*|*PROGRAMME*) echo "    $line" ;; esac
    done
    t1=$(now)
    awk -v l="$label" -v a="$t0" -v b="$t1" 'BEGIN { printf "record    %-34s %8.3f s\n", l, b - a }'
  }
  ask "continue (to the end, record on)" continue
  ask "record" record
  ask "back 1" "back 1"
  ask "goto #500000000" "goto #500000000"
  ask "goto #1000000000" "goto #1000000000"
  ask "history 20" "history 20"
  ask "reverse, watch 12 (modifier 2)" "goto #1000066942" "watch 12" reverse
  ask "  forward over it, watch set" "step" continue
  ask "last 12" "delete" "last 12"
  ask "last 310 2 (changed at #3)" "last 310 2"
  ask "reverse, watch 310 2" "watch 310 2" reverse
  ask "  forward over it, watch set" "step" continue
  ask "record" record
  printf 'quit\n' >&"${CON[1]}"
  wait "$CON_PID" || true
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
