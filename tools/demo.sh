#!/usr/bin/env bash
# Runs the bundled examples, assembled by zasm, in a scratch folder of the
# build tree.
set -e
build=$(cd "${1:-build}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
rm -rf "$demo" && mkdir -p "$demo/ledger" && cd "$demo/ledger"

# The sterling ledger, the full road: zasm assembles its source into a
# program tape, progtape makes the loading map (the program's chapter 1 at
# 1000, in the first quarter of the store, where it can call the Master
# Routine), the emulator runs the map on the paper tape of records and the
# line printer's file holds the ledger.
echo "== zasm -t examples/ledger.asm"
"$build/bin/zasm" -t -o ledger.zelk "$src/examples/ledger.asm"
echo
echo "== progtape -b1000 ledger.zelk ledger.map"
"$build/bin/progtape" -b1000 ledger.zelk ledger.map
echo
echo "== emulator ledger.map examples/ledger-ptr.txt"
"$build/bin/emulator" ledger.map "$src/examples/ledger-ptr.txt"
echo
echo "== LP18.txt (the printed ledger; the byte 0xA3 is the pound sign)"
LC_ALL=C sed 's/\xA3/\xC2\xA3/g' LP18.txt
cd "$demo"

echo
echo "== zasm examples/sum.asm, then emulator sum.txt examples/sum-ptr.txt"
# A first program: the total of a column of numbers on the paper tape.
"$build/bin/zasm" -o sum.txt "$src/examples/sum.asm"
"$build/bin/emulator" sum.txt "$src/examples/sum-ptr.txt"
echo
echo "== LP18.txt (the total)"
cat LP18.txt

echo
echo "== zasm -l count.lst examples/count.asm, then emulator -v9 count.txt"
"$build/bin/zasm" -o count.txt -l count.lst "$src/examples/count.asm"
"$build/bin/emulator" -v9 count.txt
echo
echo "== zdis count.txt (the program file read back as source)"
"$build/bin/zdis" count.txt

echo
echo "== zasm examples/copy.asm, then echo 2 | emulator -v1 copy.txt examples/copy-ptr.txt"
# The program copies the paper tape to the printer and a tape, then raises
# alarm 01; the reply 2 on standard input answers it.
"$build/bin/zasm" -o copy.txt "$src/examples/copy.asm"
echo 2 | "$build/bin/emulator" -v1 copy.txt "$src/examples/copy-ptr.txt"
echo
echo "== LP18.txt (the printer file)"
cat LP18.txt
echo
echo "== tapedump MT-CP.zelk (the tape it wrote)"
"$build/bin/tapedump" MT-CP.zelk
echo
echo "== modernise -a1 examples/sample-listing.txt sample.htm"
"$build/bin/modernise" -a1 -m"$src/examples/sample-imagemap.txt" "$src/examples/sample-listing.txt" sample.htm
echo "wrote $demo/sample.htm ($(wc -l < sample.htm) lines)"
