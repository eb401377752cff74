#!/usr/bin/env bash
# Installs the build tools, GoogleTest, the console's line editing library
# and the manual page linters where they are missing (Debian).
set -e
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/editline/readline.h ] || need+=(libedit-dev)
command -v man >/dev/null 2>&1 || need+=(man-db)
command -v groff >/dev/null 2>&1 || need+=(groff-base)
command -v mandoc >/dev/null 2>&1 || need+=(mandoc)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "${need[@]}"
fi
