#!/usr/bin/env bash
# Runs the bundled example in a scratch folder of the build tree.
set -e
build=$(cd "${1:-build}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
rm -rf "$demo" && mkdir -p "$demo/ledger" && cd "$demo/ledger"

# The sterling ledger, the full road: the program tape is built from its
# description, progtape makes the loading map (the program's chapter 1 at
# 1000, in the first quarter of the store, where it can call the Master
# Routine), the emulator runs the map on the paper tape of records and the
# line printer's file holds the ledger.
echo "== mktape examples/ledger.txt ledger.zelk"
"$build/bin/mktape" "$src/examples/ledger.txt" ledger.zelk
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
echo "== emulator -v9 examples/count.txt"
"$build/bin/emulator" -v9 "$src/examples/count.txt"

echo
echo "== echo 2 | emulator -v1 examples/copy.txt examples/copy-ptr.txt"
# The program copies the paper tape to the printer and a tape, then raises
# alarm 01; the reply 2 on standard input answers it.
echo 2 | "$build/bin/emulator" -v1 "$src/examples/copy.txt" "$src/examples/copy-ptr.txt"
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
