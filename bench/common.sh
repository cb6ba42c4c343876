# Shared by the bench scripts: their arguments, a flat directory of names,
# timing one run, and keeping the best.

# Sets `build` (the first argument, else ../build beside bench/) and `counts`
# (the arguments after it, else the words of $default_counts).
bench_arguments() {
  build=$(cd "${1:-$here/../build}" && pwd)
  shift || true
  counts=("$@")
  [ "${#counts[@]}" -gt 0 ] || read -r -a counts <<<"$default_counts"
}

# A fresh directory $work/d of $n capital 8.3 names: F0000001.TXT and on.
populate_flat() {
  rm -rf "$work/d" && mkdir "$work/d"
  (cd "$work/d" && seq -f 'F%07g.TXT' 1 "$n" | xargs touch)
}

# A fresh directory $1 of $2 directories (D00001 and on) of $3 capital 8.3
# names each.
populate_tree_in() {
  local top=$1 dirs=$2 names d
  names=$(seq -f 'F%07g.TXT' 1 "$3")
  rm -rf "$top" && mkdir "$top"
  for d in $(seq -f 'D%05g' 1 "$dirs"); do
    mkdir "$top/$d"
    (cd "$top/$d" && echo "$names" | xargs touch)
  done
}

# Stops the bench when the directory holds a name a lowering run should have
# changed: a run that failed early would otherwise look fast.
check_lowered() {
  [ -z "$(ls -U "$work/d" | grep -v '^f')" ] || { echo "not every name was lowered by: $*" >&2; exit 1; }
}

# Seconds that a command takes inside directory $1, its output dropped.
seconds_in() {
  local dir=$1; shift
  local start end
  start=$(date +%s.%N)
  (cd "$dir" && "$@" >/dev/null 2>&1 </dev/null) || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# The smaller of two times; the first when the second is empty.
smaller() {
  if [ -z "$2" ] || [ "$(echo "$1 < $2" | bc -l)" = 1 ]; then echo "$1"; else echo "$2"; fi
}

# Best of $reps runs of a command in directory $1, each on a directory that
# the script's `populate` makes afresh. Where the script defines `check`, it
# is run after each run, given the command, and may stop the bench. Prints
# seconds.
best_of() {
  local dir=$1; shift
  local best="" t r
  for ((r = 0; r < reps; r++)); do
    populate
    t=$(seconds_in "$dir" "$@")
    if declare -F check >/dev/null; then check "$@"; fi
    best=$(smaller "$t" "$best")
  done
  printf '%.3f' "$best"
}

# Several commands (each one string for `sh -c`) timed in turn in each of
# $reps rounds, so that a slow spell of the machine falls on all of them alike.
# Prints a line per command: its best seconds, and the median over the rounds
# of its time divided by the first command's time in the same round.
best_of_each() {
  local dir=$1; shift
  local -a best=() ratios=()
  local r i t first
  for ((r = 0; r < reps; r++)); do
    for ((i = 0; i < $#; i++)); do
      populate
      t=$(seconds_in "$dir" sh -c "${@:i+1:1}")
      if declare -F check >/dev/null; then check "${@:i+1:1}"; fi
      best[i]=$(smaller "$t" "${best[i]:-}")
      [ "$i" = 0 ] && first=$t
      ratios[i]="${ratios[i]:-} $(echo "$t / $first" | bc -l)"
    done
  done
  for ((i = 0; i < $#; i++)); do
    printf '%.3f %.2f\n' "${best[i]}" "$(tr ' ' '\n' <<<"${ratios[i]}" | sed '/^$/d' | sort -g |
      awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')"
  done
}
