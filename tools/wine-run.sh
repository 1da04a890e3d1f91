#!/usr/bin/env bash
# Runs a Windows program under wine with a private, quiet prefix. CTest uses it as the
# cross-compiling emulator; the preview and benchmark commands use it too.
#   tools/wine-run.sh program.exe [arguments]
#   WINEPREFIX  the prefix to use (default: wineprefix in the checkout's build/ folder)
# 64-bit programs go straight to wine's 64-bit loader; the generic launcher is itself a 32-bit
# program, which is slow to start on machines that run 32-bit code only through emulation.
set -euo pipefail
if [ $# -lt 1 ] || [ ! -f "$1" ]; then
  echo "usage: tools/wine-run.sh program.exe [arguments]${1:+ ($1: no such file)}" >&2
  exit 2
fi
program=$1
shift

here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the prefix is for console test programs.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# The PE machine field: 0x8664 for x86-64, 0x14c for i386.
pe_offset=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$program" | tr -d ' ')
loader=wine
if [ "$machine" = "8664" ] && [ -x /usr/lib/wine/wine64 ]; then
  loader=/usr/lib/wine/wine64
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Several test programs may start at once: only one of them builds the prefix. It is built by the
  # 64-bit loader where there is one (quick even where 32-bit code runs emulated); the prefix is
  # 64-bit either way and runs programs of both widths.
  boot=wine
  if [ -x /usr/lib/wine/wine64 ]; then
    boot=/usr/lib/wine/wine64
  fi
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      log="$WINEPREFIX.setup.log"
      if ! { "$boot" wineboot -i && wineserver -w; } >"$log" 2>&1 || [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-run: could not set up the wine prefix $WINEPREFIX; wineboot said:" >&2
        sed 's/^/  /' "$log" >&2
        exit 1
      fi
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$program" "$@"
