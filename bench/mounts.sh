#!/usr/bin/env bash
# Times tavisk on the file systems that memory cards and USB sticks carry,
# each made on a fresh image and mounted through FUSE as these machines do it
# (exfat-fuse on a loop device, fusefat on the image), and unmounted at the
# end: a flat folder of n capital 8.3 names, and -s over 100 folders of n/100.
# Beside tavisk, mmv where it is installed and the floor (a readdir + rename
# loop) in the same round; and tavisk's system calls per name under strace -c,
# directory reads (getdents64) and opens counted apart. Needs root.
#   bench/mounts.sh [build-dir] [counts...]     (default: build 1000 2000)
# KINDS (default "exfat fat") chooses the file systems.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
default_counts="1000 2000"
bench_arguments "$@"
[ "$(id -u)" = 0 ] || { echo "mounting needs root" >&2; exit 1; }
export LC_ALL=C
tavisk="$build/tavisk"
top=$(mktemp -d /tmp/tavisk-mounts-XXXXXX)
mnt="$top/mnt"
mkdir "$mnt"
loop=""
unmount() {
  for _ in $(seq 50); do umount "$mnt" 2>/dev/null && break; sleep 0.1; done
  if [ -n "$loop" ]; then losetup -d "$loop" 2>/dev/null || true; loop=""; fi
}
trap 'unmount; rm -rf "$top"' EXIT
export XDG_STATE_HOME="$top/state"  # the runs' journals, off the mount
g++ -O2 -o "$top/floor" "$here/floor.cpp"

# A fresh file system of `kind` on $mnt, large enough for the names.
make_mount() {
  unmount
  rm -f "$top/image"
  case $1 in
    fat)
      mkfs.vfat -C "$top/image" 262144 >/dev/null
      fusefat -o rw+ "$top/image" "$mnt" >/dev/null 2>&1 ;;
    exfat)
      truncate -s 256M "$top/image"
      mkfs.exfat "$top/image" >/dev/null
      loop=$(losetup -f --show "$top/image")
      mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1 ;;
  esac
}

populate() { rm -rf "$mnt/d"; mkdir "$mnt/d"; (cd "$mnt/d" && seq -f 'F%07g.TXT' 1 "$n" | xargs touch); }
populate_tree() { populate_tree_in "$mnt/d" 100 $((n / 100)); }

seconds_here() { seconds_in "$mnt/d" sh -c "$1"; }

# System calls of one run, per name: all, directory reads, opens.
calls_per_name() {
  (cd "$mnt/d" && strace -f -c -o "$top/calls" sh -c "$1" >/dev/null 2>&1) || true
  awk -v n="$n" '
    $NF == "total" { total = $4 }
    $NF == "getdents64" { reads = $4 }
    $NF == "openat" { opens = $4 }
    END { printf "%.2f calls, %.2f directory reads, %.2f opens per name", total / n, reads / n, opens / n }
  ' "$top/calls"
}

for kind in ${KINDS:-exfat fat}; do
  command -v "$([ "$kind" = fat ] && echo fusefat || echo mount.exfat-fuse)" >/dev/null ||
    { echo "== $kind: not installed"; continue; }
  make_mount "$kind"
  for n in "${counts[@]}"; do
    echo "== $kind, $n files in one folder"
    commands=("$top/floor" "$tavisk '*.TXT'" "$tavisk -v= '*.TXT'")
    command -v mmv >/dev/null && commands+=("mmv '*.TXT' '#l1.txt'")
    for c in "${commands[@]}"; do
      populate
      printf '%-28s %8.3fs\n' "$(basename "${c%% *}")${c#"${c%% *}"}" "$(seconds_here "$c")"
    done
    populate
    printf '%-28s %s\n' "tavisk '*.TXT' calls" "$(calls_per_name "$tavisk '*.TXT'")"
    echo "== $kind, -s over 100 folders of $((n / 100))"
    populate_tree
    printf '%-28s %8.3fs\n' "tavisk -s '*.TXT'" "$(seconds_here "$tavisk -s '*.TXT'")"
    populate_tree
    printf '%-28s %s\n' "tavisk -s '*.TXT' calls" "$(calls_per_name "$tavisk -s '*.TXT'")"
  done
done
