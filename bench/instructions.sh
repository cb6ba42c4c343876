#!/usr/bin/env bash
# Counts the user-space instructions per renamed name (valgrind's callgrind,
# an exact count that does not move with the machine's load) for tavisk and
# mmv on fresh directories of capital 8.3 names, and the floor: a plain
# readdir + rename loop. Also counts tavisk's system calls per name.
#   bench/instructions.sh [build-dir] [counts...]     (default: build 20000)
# TREE=1 adds `-s '*'` over a tree of 100 directories of n/100 names each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
default_counts="20000"
bench_arguments "$@"
export LC_ALL=C
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
work=$(mktemp -d /tmp/tavisk-instructions-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"  # the runs' journals
g++ -O2 -o "$work/floor" "$here/floor.cpp"

# Instructions that one command takes inside $work/d, divided by $n.
per_name() {
  (cd "$work/d" && valgrind --tool=callgrind --callgrind-out-file="$work/out" "$@" \
     >/dev/null 2>"$work/log" </dev/null) || true
  local total
  total=$(sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$work/log")
  echo $((total / n))
}


for n in "${counts[@]}"; do
  echo "== $n files, user-space instructions per name (callgrind)"
  populate_flat; printf '%-28s %8s\n' "floor (readdir + rename)" "$(per_name "$work/floor")"
  populate_flat; printf '%-28s %8s\n' "tavisk '*.TXT'" "$(per_name "$build/tavisk" '*.TXT')"
  check_lowered tavisk
  populate_flat; printf '%-28s %8s\n' "tavisk '*.TXT' -j-" "$(per_name "$build/tavisk" '*.TXT' -j-)"
  if command -v mmv >/dev/null; then
    populate_flat; printf '%-28s %8s\n' "mmv '*.TXT' '#l1.txt'" "$(per_name mmv '*.TXT' '#l1.txt')"
  fi
  if command -v strace >/dev/null; then
    populate_flat
    (cd "$work/d" && strace -c -f -o "$work/calls" "$build/tavisk" '*.TXT' >/dev/null 2>&1) || true
    printf '%-28s %8s\n' "tavisk system calls per name" \
      "$(awk -v n="$n" '$NF=="total" {printf "%.2f", $4/n}' "$work/calls")"
  fi
  if [ "${TREE:-0}" = 1 ]; then
    populate_tree_in "$work/d" 100 $((n / 100)); printf '%-28s %8s\n' "tavisk -s '*' (tree)" "$(per_name "$build/tavisk" -s '*')"
  fi
done
