#!/usr/bin/env bash
# Converts the bundled sample listing and opens the page in headless Chromium:
# every "#r" and "#c" link must have its anchor and the page must render as
# preformatted text. Skips (status 0) when no Chromium is installed.
# usage: tests/browser/check_links.sh [BUILD_DIR]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
chrome=${CHROMIUM:-/usr/bin/chromium}
prog=$build/bin/modernise

if [ ! -x "$chrome" ]; then
  echo "SKIP: browser check: no Chromium at $chrome (Debian package chromium)"
  exit 0
fi
if [ ! -x "$prog" ]; then
  echo "FAIL: browser check: $prog is not built"
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
listing=$root/examples/sample-listing.txt
"$prog" -a1 -m"$root/examples/sample-imagemap.txt" "$listing" "$tmp/page.htm" >"$tmp/mapping.txt" ||
  { echo "FAIL: browser check: modernise failed"; exit 1; }

# The page as converted, with the check appended after its closing tags.
images=$(grep -c '^  Source image: ' "$tmp/page.htm")
lines=$(($(wc -l <"$listing") + images))
{
  cat "$tmp/page.htm"
  echo "<script>"
  echo "var CHECK_LINES = $lines;"
  # Lines as a reader sees them: "g" shows as ">", the links as their numbers.
  echo 'var CHECK_TEXTS = ["00360     12405    6       200 OTF            OVERTIME HOURS > 0: TIMES 1.5",'
  echo '  "00280     12304    3   HRS                    HOURS WORKED < 100 ALWAYS",'
  echo '  "00310     12400    PROCR   140  COMPUTE PAY",'
  echo '  " PROCEDURE  140 COMPUTE PAY                  12400"];'
  cat "$here/check_links.js"
  echo "</script>"
} >"$tmp/check.htm"

timeout 120 "$chrome" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$tmp/profile" --dump-dom "file://$tmp/check.htm" >"$tmp/dom.htm" 2>"$tmp/chrome.log"
result=$(grep -o '<div id="check">[^<]*' "$tmp/dom.htm" | sed 's/^<div id="check">//')
if [ -z "$result" ]; then
  echo "FAIL: browser check: no result from Chromium"
  tail -5 "$tmp/chrome.log"
  exit 1
fi
echo "browser check: $result"
case $result in
  "CHECK OK"*) exit 0 ;;
  *) exit 1 ;;
esac
