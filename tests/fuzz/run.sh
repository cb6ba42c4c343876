#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each for
# a bounded time on a copy of its seed corpus. Any finding fails the run.
#   tests/fuzz/run.sh OUT_DIR SECONDS GENERATED_DIR
# GENERATED_DIR holds the headers a CMake build made (build/generated).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../src" && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
seconds=$2
generated=$(cd "$3" && pwd)
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -I"$src" -I"$generated" -I"$here/..")
core=$(grep -v '^#' "$src/core_sources.txt" | sed "s|^|$src/|")
clang++ "${flags[@]}" -o "$out/config_fuzz" "$here/config_fuzz.cpp" $core "$here/../platform/fake_platform.cpp" "$here/../process.cpp"
for target in split sjis decision switches journal; do
  clang++ "${flags[@]}" -o "$out/${target}_fuzz" "$here/${target}_fuzz.cpp" $core "$here/../platform/fake_platform.cpp" "$here/../process.cpp"
done
# The POSIX bridge alone, with the byte primitives it stands on.
clang++ "${flags[@]}" -o "$out/codeset_fuzz" "$here/codeset_fuzz.cpp" "$src/platform/posix_codeset.cpp" \
  "$src/platform/posix_display.cpp" "$src/platform/posix_locale.cpp" "$src/platform/stand_ins.cpp" "$src/sjis/sjis.cpp"
for target in config split sjis decision switches journal codeset; do
  corpus="$out/corpus-$target"
  mkdir -p "$corpus"
  cp "$here/seeds/$target/"* "$corpus/"
  echo "fuzzing $target for ${seconds}s"
  "$out/${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 "$corpus" \
    > "$out/$target.log" 2>&1 || { tail -40 "$out/$target.log"; exit 1; }
  grep -E '^#[0-9]+.*DONE' "$out/$target.log" | tail -1 || tail -3 "$out/$target.log"
done
