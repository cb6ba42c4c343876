#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each for
# a bounded time on a copy of its seed corpus. Any finding fails the run.
#   tests/fuzz/run.sh OUT_DIR [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../src" && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
seconds=${2:-30}
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -I"$src" -I"$here/..")
core=$(cd "$src" && ls sjis/sjis.cpp convert/*.cpp driver/settings.cpp driver/failure.cpp \
       driver/arguments.cpp driver/tree.cpp console/*.cpp config/*.cpp help/help.cpp platform/glob.cpp driver/run.cpp)
core=$(for f in $core; do echo "$src/$f"; done)
clang++ "${flags[@]}" -o "$out/config_fuzz" "$here/config_fuzz.cpp" $core "$here/../platform/fake_platform.cpp"
for target in split sjis decision switches; do
  clang++ "${flags[@]}" -o "$out/${target}_fuzz" "$here/${target}_fuzz.cpp" $core "$here/../platform/fake_platform.cpp"
done
for target in config split sjis decision switches; do
  corpus="$out/corpus-$target"
  mkdir -p "$corpus"
  cp "$here/seeds/$target/"* "$corpus/"
  echo "fuzzing $target for ${seconds}s"
  "$out/${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 "$corpus" \
    > "$out/$target.log" 2>&1 || { tail -40 "$out/$target.log"; exit 1; }
  grep -E '^#[0-9]+.*DONE' "$out/$target.log" | tail -1 || tail -3 "$out/$target.log"
done
