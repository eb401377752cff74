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
echo "== modernise -a1 examples/sample-listing.txt sample.htm"
"$build/bin/modernise" -a1 -m"$src/examples/sample-imagemap.txt" "$src/examples/sample-listing.txt" sample.htm
echo "wrote $demo/sample.htm ($(wc -l < sample.htm) lines)"
