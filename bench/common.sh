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
