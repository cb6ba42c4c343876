#!/usr/bin/env bash
# Times tavisk against the floor (a plain loop of rename(2)) and against peers,
# on fresh directories of capital 8.3 names. Prints seconds, ratios to the
# floor, and tavisk's peak memory. The floor, the same in sorted order (with
# and without a lookup of each name before its rename) and tavisk take turns
# in each round; the median of their per-round ratios is shown beside the best
# times.
#   bench/run.sh [build-dir] [counts...]     (default: build 10000 100000)
# REPS runs of each (3), PEERS=0 leaves the peers out, LOOKUPS names for the
# lookup timing (20000).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
default_counts="10000 100000"
bench_arguments "$@"
reps=${REPS:-3}
export LC_ALL=C  # names are bytes; the UTF-8 bridge is timed on its own line
tavisk="$build/tavisk"
work=$(mktemp -d /tmp/tavisk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"  # the runs' journals
g++ -O2 -o "$work/floor" "$here/floor.cpp"

populate() { populate_flat; }

# Every run but a preview lowers every name.
check() {
  case "$*" in *-test*) return ;; esac
  check_lowered "$@"
}

timed() { best_of "$work/d" "$@"; }

peak_kib() {
  populate
  (cd "$work/d" && /usr/bin/time -f '%M' "$tavisk" '*.TXT' >/dev/null 2>"$work/mem") || true
  tail -1 "$work/mem"
}

ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

declare -A seconds
for n in "${counts[@]}"; do
  echo "== $n files"
  # The ones that the ratios compare take turns, round by round: the floors,
  # tavisk and, where it is installed, mmv.
  rotation=("$work/floor" "$work/floor sorted" "$work/floor verified" "$tavisk '*.TXT'" "$tavisk '*.TXT' -j-")
  with_mmv=0
  if [ "${PEERS:-1}" = 1 ] && command -v mmv >/dev/null; then
    rotation+=("mmv '*.TXT' '#l1.txt'")
    with_mmv=1
  fi
  { read -r floor _; read -r sorted sorted_median; read -r verified verified_median
    read -r tavisk_best median; read -r bare_best bare_median; read -r mmv_best mmv_median || true; } < <(best_of_each "$work/d" "${rotation[@]}")
  seconds[$n]=$tavisk_best
  printf '%-28s %8ss\n' "floor (rename loop)" "$floor"
  printf '%-28s %8ss  %sx floor (median of rounds %sx)\n' "floor in sorted order" "$sorted" \
    "$(ratio "$sorted" "$floor")" "$sorted_median"
  printf '%-28s %8ss  %sx floor (median of rounds %sx)\n' "  and a lookup before each" "$verified" \
    "$(ratio "$verified" "$floor")" "$verified_median"
  printf '%-28s %8ss  %sx floor (median of rounds %sx), %sx sorted floor\n' "tavisk '*.TXT'" \
    "${seconds[$n]}" "$(ratio "${seconds[$n]}" "$floor")" "$median" "$(ratio "${seconds[$n]}" "$sorted")"
  printf '%-28s %8ss  %sx floor (median of rounds %sx); the journal costs %s%%, %s bytes\n' \
    "tavisk '*.TXT' -j-" "$bare_best" "$(ratio "$bare_best" "$floor")" "$bare_median" \
    "$(printf '%.1f' "$(echo "($median / $bare_median - 1) * 100" | bc -l)")" \
    "$(stat -c %s "$(ls -t "$XDG_STATE_HOME"/tavisk/*.journal | head -1)")"
  # What putting each window of the journal on the disk costs: the time the
  # kernel spends in fdatasync, as strace counts it, against the run's.
  populate
  synced=$(cd "$work/d" && strace -c -e trace=fdatasync -o "$work/sync" "$tavisk" '*.TXT' >/dev/null &&
           awk '$NF == "fdatasync" { print $2, $4 }' "$work/sync")
  printf '%-28s %8ss  in %s calls, %s%% of the run\n' "  of which the journal's sync" "${synced% *}" \
    "${synced#* }" "$(printf '%.1f' "$(echo "${synced% *} / ${seconds[$n]} * 100" | bc -l)")"
  t_test=$(timed "$tavisk" '*.TXT' -test)
  t_aligned=$(timed "$tavisk" '*.TXT' -v+k)
  t_utf8=$(timed env LC_ALL=C.UTF-8 "$tavisk" '*.TXT')
  printf '%-28s %8ss  %sx floor\n' "tavisk '*.TXT' -test" "$t_test" "$(ratio "$t_test" "$floor")"
  printf '%-28s %8ss  %sx floor\n' "tavisk '*.TXT' -v+k" "$t_aligned" "$(ratio "$t_aligned" "$floor")"
  printf '%-28s %8ss  %sx floor\n' "tavisk '*.TXT' in C.UTF-8" "$t_utf8" "$(ratio "$t_utf8" "$floor")"
  if [ "${PEERS:-1}" = 1 ] && command -v rename >/dev/null; then
    # Through xargs: 100 000 names do not fit one argument list.
    t=$(timed sh -c "find . -maxdepth 1 -name '*.TXT' -print0 | xargs -0 rename 'y/A-Z/a-z/'")
    printf '%-28s %8ss  %sx floor\n' "rename 'y/A-Z/a-z/'" "$t" "$(ratio "$t" "$floor")"
  fi
  if [ "$with_mmv" = 1 ]; then
    printf '%-28s %8ss  %sx floor (median of rounds %sx); tavisk %s\n' "mmv '*.TXT' '#l1.txt'" "$mmv_best" \
      "$(ratio "$mmv_best" "$floor")" "$mmv_median" \
      "$(if [ "$(echo "$median < $mmv_median" | bc -l)" = 1 ]; then echo "ahead"; else echo "behind"; fi)"
  fi
  printf '%-28s %8s KiB\n' "tavisk peak memory" "$(peak_kib)"
done
# Names typed in capitals over small-letter files against the same names
# typed exactly: each name is looked up, nothing is renamed.
lookups=${LOOKUPS:-20000}
rm -rf "$work/d" && mkdir "$work/d"
(cd "$work/d" && seq -f 'f%07g.txt' 1 "$lookups" | xargs touch)
seq -f 'F%07g.TXT' 1 "$lookups" > "$work/capitals"
seq -f 'f%07g.txt' 1 "$lookups" > "$work/exact"
lookup_time() {
  local best=""
  for ((r = 0; r < reps; r++)); do
    best=$(smaller "$(seconds_in "$work/d" xargs -a "$work/$1" -s 2000000 "$tavisk")" "$best")
  done
  printf '%.3f' "$best"
}
exact=$(lookup_time exact)
capitals=$(lookup_time capitals)
echo "== $lookups names looked up"
printf '%-28s %8ss\n' "typed exactly" "$exact"
printf '%-28s %8ss  %sx exactly\n' "typed in capitals" "$capitals" "$(ratio "$capitals" "$exact")"

if [ "${#counts[@]}" -ge 2 ]; then
  a=${counts[0]}; b=${counts[-1]}
  growth=$(ratio "${seconds[$b]}" "${seconds[$a]}")
  nlogn=$(echo "($b * l($b)) / ($a * l($a))" | bc -l)
  printf 'growth %s -> %s: %sx (n log n: %.2fx, n: %sx)\n' "$a" "$b" "$growth" "$nlogn" "$(ratio "$b" "$a")"
fi
