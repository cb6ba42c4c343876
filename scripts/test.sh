#!/usr/bin/env bash
# Sets up, builds both binaries (and a sanitizer build), and runs every test:
# unit tests, the end-to-end stories on tavisk and on tavisk.exe under Wine,
# the terminal paging tests and the bounded fuzzing runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh --sanitize
status=0
(cd build-sanitize && ctest --output-on-failure -j 2 -L 'unit|native') || status=1
(cd build && ctest --output-on-failure -j 2) || status=1
exit "$status"
