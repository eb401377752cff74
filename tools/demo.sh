#!/usr/bin/env bash
# Runs the bundled example in a scratch folder of the build tree.
set -e
build=$(cd "${1:-build}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
rm -rf "$demo" && mkdir -p "$demo" && cd "$demo"
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
