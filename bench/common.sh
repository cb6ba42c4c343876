# Shared by the bench scripts: timing one run, and keeping the best.

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
