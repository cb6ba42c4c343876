#!/usr/bin/env bash
# Times tavisk.exe under Wine against its floor (a Win32 loop that looks each
# name up and makes the two moves of the detour), on fresh directories of
# capital 8.3 names, and its preview (/test), which must grow with the names,
# not with their square. Wine makes every case-only rename take the detour.
#   bench/wine.sh [build-dir] [counts...]     (default: build 1000 2000 4000)
# WORK_IN chooses the folder the names are made in (default /tmp): a mounted
# exFAT or FAT stick, say.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
default_counts="1000 2000 4000"
bench_arguments "$@"
reps=${REPS:-3}
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d "${WORK_IN:-/tmp}/tavisk-wine-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
x86_64-w64-mingw32-g++ -O2 -static -o "$work/floor.exe" "$here/wine_floor.cpp"
wineserver -p >/dev/null 2>&1 </dev/null || true

populate() { populate_flat; }

# A renaming run must lower every name; the preview none.
check() {
  case " $* " in
    *" /test "*) [ -z "$(ls -U "$work/d" | grep '^f')" ] || { echo "the preview renamed: $*" >&2; exit 1; } ;;
    *) check_lowered "$@" ;;
  esac
}

timed() { best_of "$work/d" "$@"; }

for n in "${counts[@]}"; do
  floor=$(timed wine "$work/floor.exe")
  t=$(timed wine "$build/tavisk.exe" '*.TXT')
  preview=$(timed wine "$build/tavisk.exe" /test '*.TXT')
  printf '%6d files  floor %8ss  tavisk.exe %8ss  %sx floor  /test %8ss\n' "$n" "$floor" "$t" \
    "$(printf '%.2f' "$(echo "$t / $floor" | bc -l)")" "$preview"
done
