#!/usr/bin/env bash
# Times `tavisk -s '*'` against a plain walk-and-rename loop over a tree of
# capital 8.3 names: DIRS directories of FILES files each (default 1000 x 100,
# 100 000 entries). Best of REPS runs.
#   bench/tree.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=$(cd "${1:-$here/../build}" && pwd)
dirs=${DIRS:-1000}
files=${FILES:-100}
reps=${REPS:-3}
export LC_ALL=C
work=$(mktemp -d /tmp/tavisk-tree-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"  # the runs' journals
g++ -O2 -std=c++17 -o "$work/floor" "$here/tree_floor.cpp"
populate() { populate_tree_in "$work/t" "$dirs" "$files"; }

check() {
  [ -z "$(cd "$work/t" && find . -name '*[A-Z]*' | head -1)" ] || { echo "capitals left by: $*" >&2; exit 1; }
}

timed() { best_of "$work/t" "$@"; }

floor=$(timed "$work/floor")
t=$(timed "$build/tavisk" -s '*')
printf '%d entries in %d directories: floor %ss, tavisk -s %ss, %sx floor\n' "$((dirs * files + dirs))" "$dirs" \
  "$floor" "$t" "$(printf '%.2f' "$(echo "$t / $floor" | bc -l)")"
