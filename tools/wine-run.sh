#!/usr/bin/env bash
# Runs a Windows program under wine with a private, quiet prefix. CTest uses it as the
# cross-compiling emulator; the preview and benchmark commands use it too.
#   WINEPREFIX  the prefix to use (default: wineprefix in the current build tree, see below)
# 64-bit programs go straight to wine's 64-bit loader; the generic launcher is itself a 32-bit
# program, which is slow to start on machines that run 32-bit code only through emulation.
set -eu
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
  # Several test programs may start at once: only one of them builds the prefix.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$loader" wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$program" "$@"
