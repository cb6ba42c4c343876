#!/usr/bin/env bash
# Builds tavisk (native) and tavisk.exe (mingw-w64) into build/, and, with
# --sanitize, the native binary and unit tests with ASan and UBSan into
# build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVISK_SANITIZE=ON -DTAVISK_WINDOWS=OFF >/dev/null
  cmake --build build-sanitize -j "$jobs"
fi
