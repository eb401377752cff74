#!/usr/bin/env bash
# Builds every libFuzzer target with clang (address and undefined behaviour
# sanitizers) and runs each for the given number of seconds on a copy of its
# seed corpus, with its dictionary (fuzz/TARGET.dict) where there is one.
#   fuzz/run.sh [seconds] [target ...]
set -euo pipefail
secs=${1:-30}
shift || true
src=$(cd "$(dirname "$0")/.." && pwd)
out=$src/build-fuzz
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
lib_src() { ls "$src"/$1/*.cpp | grep -v -E '_test\.cpp$|fuzz_|/main\.cpp$|/mktape\.cpp$'; }
# The emulator, with zasm and zdis: the console reads and writes addresses
# and instructions in zasm's terms, and the emulator's loader is the round
# trip's measure for zasm and zdis.
emu_src() {
  ls "$src"/emulator/core/*.cpp "$src"/emulator/loader/*.cpp "$src"/emulator/editing/*.cpp \
     "$src"/emulator/peripherals/*.cpp "$src"/emulator/console/*.cpp "$src"/tapeimage/tape.cpp \
     "$src"/isa/isa.cpp |
    grep -v -E '_test\.cpp$|fuzz_'
  lib_src zasm
  lib_src zdis
  echo "$src"/progtape/builder.cpp
}
emu_inc=(-I"$src"/emulator/core -I"$src"/emulator/loader -I"$src"/emulator/editing
         -I"$src"/emulator/peripherals -I"$src"/emulator/console -I"$src"/tapeimage -I"$src"/isa
         -I"$src"/zasm -I"$src"/zdis -I"$src"/progtape)

build() {
  local t=$1
  case $t in
    loader | run | console | snapshot)
      clang++ "${flags[@]}" "${emu_inc[@]}" $(emu_src) "$src/emulator/fuzz_$t.cpp" -ledit -o "$out/$t" ;;
    zasm | zdis)
      clang++ "${flags[@]}" "${emu_inc[@]}" $(emu_src) "$src/$t/fuzz_$t.cpp" -ledit -o "$out/$t" ;;
    tape) clang++ "${flags[@]}" -I"$src"/tapeimage "$src"/tapeimage/tape.cpp "$src"/tapeimage/fuzz_tape.cpp -o "$out/$t" ;;
    tapedump) clang++ "${flags[@]}" -I"$src"/tapeimage -I"$src"/tapedump $(lib_src tapedump) \
                "$src"/tapeimage/tape.cpp "$src"/tapedump/fuzz_tapedump.cpp -o "$out/$t" ;;
    progtape) clang++ "${flags[@]}" -I"$src"/tapeimage -I"$src"/progtape $(lib_src progtape) \
                "$src"/tapeimage/tape.cpp "$src"/progtape/fuzz_progtape.cpp -o "$out/$t" ;;
    modernise) clang++ "${flags[@]}" -I"$src"/modernise $(lib_src modernise) \
                 "$src"/modernise/fuzz_modernise.cpp -o "$out/$t" ;;
  esac
}

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(loader run console snapshot tape tapedump progtape modernise zasm zdis)
status=0
for t in "${targets[@]}"; do
  echo "== fuzz target $t: building"
  build "$t"
  work=$(mktemp -d)
  if [ -d "$src/fuzz/corpus/$t" ]; then cp -r "$src/fuzz/corpus/$t/." "$work/"; fi
  if [ "$t" = zasm ]; then
    # The examples, each after the input's first byte: 0 a program file,
    # 1 a program tape (the ledger's form).
    for f in "$src"/examples/*.asm; do
      mode='\000'
      [ "$(basename "$f")" = ledger.asm ] && mode='\001'
      { printf "$mode"; cat "$f"; } >"$work/$(basename "$f")"
    done
  fi
  echo "== fuzz target $t: running ${secs}s"
  dict=()
  if [ -f "$src/fuzz/$t.dict" ]; then dict=(-dict="$src/fuzz/$t.dict"); fi
  if ! (cd "$out" && "./$t" -max_total_time="$secs" -print_final_stats=1 "${dict[@]}" "$work" 2>"$out/$t.log"); then
    echo "== fuzz target $t FAILED; see $out/$t.log"
    tail -40 "$out/$t.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$out/$t.log" | tail -2
  fi
  rm -rf "$work"
done
exit $status
