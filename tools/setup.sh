#!/usr/bin/env bash
# Installs everything the build, the tests and the preview tool need on Debian 12, from Debian's
# package registry (clang, its sanitizer and libFuzzer runtimes and the native zlib serve the
# native test and fuzz configuration). Idempotent: when every package is already there it only
# checks and returns.
set -euo pipefail

packages=(
  cmake make
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  googletest
  libz-mingw-w64-dev
  libstb-dev
  qemu-user-static
  clang-14 libclang-rt-14-dev llvm-14 zlib1g-dev
)

# Checking needs no privileges; only installing does.
need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: $1 (run tools/setup.sh as root)" >&2
    exit 1
  fi
}

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing=("${packages[@]}")
else
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
fi

if [ "${#missing[@]}" -gt 0 ]; then
  need_root "to install ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# wine runs 32-bit Windows programs through its 32-bit Linux loader. Some kernels (lean virtual
# machines among them) cannot execute 32-bit Linux programs; there the loader is handed to the
# user-mode emulator through binfmt_misc. Registrations do not survive a reboot, so this is checked
# on every run.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  need_root "to hand wine's 32-bit loader to the emulator"
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  if [ ! -e "$binfmt/sonolook-i386-exec" ]; then
    echo ":sonolook-i386-exec:M::${magic}\x02\x00\x03\x00:${mask}:/usr/bin/qemu-i386-static:F" >"$binfmt/register"
  fi
  if [ ! -e "$binfmt/sonolook-i386-dyn" ]; then
    echo ":sonolook-i386-dyn:M::${magic}\x03\x00\x03\x00:${mask}:/usr/bin/qemu-i386-static:F" >"$binfmt/register"
  fi
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "setup: this machine cannot run wine's 32-bit loader, even through the emulator" >&2
    exit 1
  fi
fi

# dlmalloc for the mspace heap kind: Debian's libffi source package carries it; the build extracts
# src/dlmalloc.c from it.
bash "$(dirname "$0")/fetch-dlmalloc.sh"
