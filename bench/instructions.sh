#!/usr/bin/env bash
# Counts the user-space instructions per renamed name (valgrind's callgrind,
# an exact count that does not move with the machine's load) for tavisk and
# mmv on fresh directories of capital 8.3 names, and the floor: a plain
# readdir + rename loop. Also counts tavisk's system calls per name.
#   bench/instructions.sh [build-dir] [counts...]     (default: build 20000)
# TREE=1 adds `-s '*'` over a tree of 100 directories of n/100 names each.
# LOCALES (default "C C.UTF-8 ja_JP.UTF-8") are each counted for the run and
# the preview, and for one name (what a script that calls tavisk in a loop
# pays each time; beside it a dynamically linked program that does nothing);
# SJIS=1 adds a directory of Shift-JIS names (each a stand-in under a UTF-8
# locale), lowered with -k.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
default_counts="20000"
bench_arguments "$@"
export LC_ALL=C
locales=${LOCALES:-C C.UTF-8 ja_JP.UTF-8}
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


# A fresh directory $work/d of $n Shift-JIS names: ア0000001.TXT and on.
populate_sjis() {
  rm -rf "$work/d" && mkdir "$work/d"
  (cd "$work/d" && seq -f "$(printf '\x83\x41')%07g.TXT" 1 "$n" | xargs touch)
}
check_lowered_sjis() {
  [ -z "$(ls -U "$work/d" | LC_ALL=C grep -a 'TXT$')" ] || { echo "not every Shift-JIS name was lowered" >&2; exit 1; }
}

# The whole count of one run over one name, and of /bin/true.
whole_run() {
  (cd "$work/d" && valgrind --tool=callgrind --callgrind-out-file="$work/out" "$@" \
     >/dev/null 2>"$work/log" </dev/null) || true
  sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$work/log"
}
echo "== one name, user-space instructions of the whole run (callgrind)"
rm -rf "$work/d" && mkdir "$work/d"
printf '%-34s %8s\n' "/bin/true" "$(whole_run /bin/true)"
for locale in $locales; do
  touch "$work/d/F0000001.TXT"
  printf '%-34s %8s\n' "tavisk F0000001.TXT ($locale)" "$(LC_ALL=$locale whole_run "$build/tavisk" F0000001.TXT)"
  rm -f "$work/d/"*
done

for n in "${counts[@]}"; do
  echo "== $n files, user-space instructions per name (callgrind)"
  populate_flat; printf '%-28s %8s\n' "floor (readdir + rename)" "$(per_name "$work/floor")"
  for locale in $locales; do
    populate_flat; printf '%-28s %8s\n' "tavisk '*.TXT' ($locale)" "$(LC_ALL=$locale per_name "$build/tavisk" '*.TXT')"
    check_lowered tavisk
    populate_flat
    printf '%-28s %8s\n' "tavisk -test ($locale)" "$(LC_ALL=$locale per_name "$build/tavisk" -test '*.TXT')"
    if [ "${SJIS:-0}" = 1 ]; then
      populate_sjis
      printf '%-28s %8s\n' "Shift-JIS names -k -l ($locale)" "$(LC_ALL=$locale per_name "$build/tavisk" -k -l '*.TXT')"
      check_lowered_sjis
    fi
  done
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
