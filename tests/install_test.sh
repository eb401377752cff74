#!/usr/bin/env bash
# Installs the build into a scratch prefix, then runs each installed
# program's --help and --version and lints each installed manual page, with
# man (groff) and, where it is installed, mandoc.
# usage: tests/install_test.sh BUILD_DIR VERSION
set -u
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

if ! cmake --install "$build" --prefix "$tmp/usr" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

# The programs and their pages, and nothing else (no tests, no fuzz targets).
progs="emulator mktape modernise progtape tapedump zasm zdis"
got=$(cd "$tmp/usr" && echo bin/* share/man/man*/*)
want="$(printf 'bin/%s ' $progs)$(printf 'share/man/man1/%s.1 ' $progs)share/man/man5/zelk.5"
want="$want share/man/man7/zelk.7"
[ "$got" = "$want" ] || fail "installed: $got; expected: $want"

# The examples the pages name, in the documentation folder.
for f in copy.asm copy.txt copy-ptr.txt count.asm count.txt ledger.asm ledger.zelk ledger.map \
  ledger-ptr.txt sum.asm sum.txt sum-ptr.txt; do
  [ -f "$tmp/usr/share/doc/zelk/examples/$f" ] || fail "examples/$f not installed"
done

mkdir "$tmp/work"
cd "$tmp/work" || exit 1
for p in $progs; do
  exe=$tmp/usr/bin/$p
  "$exe" --help >"$tmp/out" 2>"$tmp/err"
  rc=$?
  [ $rc = 0 ] || fail "$p --help: status $rc"
  [ -s "$tmp/err" ] && fail "$p --help wrote on standard error: $(cat "$tmp/err")"
  grep -q "^usage: $p " "$tmp/out" || fail "$p --help: no usage line"
  out=$("$exe" --version 2>&1)
  rc=$?
  [ $rc = 0 ] && [ "$out" = "$p $version" ] || fail "$p --version: status $rc: $out"
done
# After a switch --help still answers, before the switch could act.
"$tmp/usr/bin/emulator" -d --help >/dev/null || fail "emulator -d --help: status $?"
[ -e log.txt ] && fail "emulator -d --help opened log.txt"

lint=mandoc
command -v mandoc >/dev/null || {
  lint=""
  echo "mandoc is not installed (tools/setup.sh installs it): pages linted by man only"
}
for page in "$tmp"/usr/share/man/man*/*; do
  name=${page#"$tmp/usr/share/man/"}
  MANWIDTH=80 man --warnings -l "$page" >"$tmp/out" 2>"$tmp/err" || fail "$name: man failed"
  [ -s "$tmp/err" ] && fail "$name: man: $(cat "$tmp/err")"
  [ -s "$tmp/out" ] || fail "$name: man rendered nothing"
  # Every message down to style counts, but for the cross-references, which
  # mandoc looks up among the system's pages, not among these.
  if [ -n "$lint" ]; then
    mandoc -T lint "$page" 2>&1 | grep -v 'STYLE: referenced manual not found' >"$tmp/err"
    [ -s "$tmp/err" ] && fail "$name: mandoc: $(cat "$tmp/err")"
  fi
done

[ $status = 0 ] && echo "installed and checked: $progs"
exit $status
