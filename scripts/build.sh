#!/usr/bin/env bash
# Builds into build/: with no argument tavisk (native), tavisk.exe (mingw-w64)
# and the tests; with --native only tavisk; with --sanitize also the native
# binary and the unit tests with ASan and UBSan into build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
if [ "${1:-}" = "--native" ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVISK_WINDOWS=OFF -DTAVISK_TESTS=OFF -DTAVISK_WERROR=ON >/dev/null
  cmake --build build -j "$jobs" --target tavisk
  exit
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVISK_WINDOWS=ON -DTAVISK_TESTS=ON -DTAVISK_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVISK_SANITIZE=ON -DTAVISK_WINDOWS=OFF -DTAVISK_WERROR=ON >/dev/null
  cmake --build build-sanitize -j "$jobs"
fi
