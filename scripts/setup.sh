#!/usr/bin/env bash
# Installs what building and testing tavisk needs on a Debian machine: the
# compilers (native and mingw-w64), Wine with the Japanese glibc locale,
# GoogleTest, tmux, the fuzzing runtime, the packaging tools and the FAT and
# exFAT tools. With --native, only what building the native command needs.
# Does nothing that is already done.
set -euo pipefail

native=(cmake ninja-build g++ python3 gzip)
packages=(
  "${native[@]}"
  g++-mingw-w64-x86-64
  wine wine64
  locales
  libgtest-dev libgmock-dev dpkg-dev
  tmux
  clang libclang-rt-14-dev
  e2fsprogs procps rename mmv time bc strace lintian
  fusefat exfat-fuse exfatprogs dosfstools fuse3 mount util-linux
)

if [ "${1:-}" = "--native" ]; then packages=("${native[@]}"); fi

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ "${1:-}" = "--native" ] && exit 0

# Wine converts names and arguments between UTF-8 and code page 932 only when
# this glibc locale exists.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  as_root sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
