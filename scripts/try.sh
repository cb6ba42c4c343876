#!/usr/bin/env bash
# Sets up, builds, and shows tavisk in test mode on a small example directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
example=$(mktemp -d)
touch "$example/TEST1.txt" "$example/test2.TxT" "$example/TEST3.TXT" "$example/README.TXT"
mkdir "$example/DOCS"
echo "In $example:"
ls "$example"
echo
echo "\$ tavisk '*' /l /test"
# The Japanese texts are Shift-JIS; shown here through iconv.
(cd "$example" && "$OLDPWD/build/tavisk" '*' /l /test | iconv -f CP932 -t UTF-8)
rm -rf "$example"
