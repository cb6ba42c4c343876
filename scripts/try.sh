#!/usr/bin/env bash
# Sets up, builds, and shows tavisk in test mode on a small example directory.
# Only the native command: neither Wine nor the cross-compiler is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --native
scripts/build.sh --native
example=$(mktemp -d)
touch "$example/TEST1.txt" "$example/test2.TxT" "$example/TEST3.TXT" "$example/README.TXT"
mkdir "$example/DOCS"
echo "In $example:"
ls "$example"
echo
echo "\$ tavisk '*' -l -test"
# Under a UTF-8 locale the command writes UTF-8 itself; C.UTF-8 is there on
# every Debian machine, whatever the caller's locale.
(cd "$example" && LC_ALL=C.UTF-8 "$OLDPWD/build/tavisk" '*' -l -test)
rm -rf "$example"
