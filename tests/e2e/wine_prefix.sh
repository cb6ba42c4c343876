#!/bin/sh
# Creates the tests' own Wine prefix (the first start takes a while) and keeps a
# wine server running so that each later start is quick.
set -e
build=$(cd "$1" && pwd)
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
if ! locale -a | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "the glibc locale ja_JP.UTF-8 is missing: add it to /etc/locale.gen and run locale-gen" >&2
  exit 1
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || true
  # Let the set-up finish, so that no later start updates the prefix and says
  # so on a test's standard error.
  wineserver -w </dev/null >/dev/null 2>&1 || true
fi
# An already running server is fine.
wineserver -p >/dev/null 2>&1 </dev/null || true
wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
