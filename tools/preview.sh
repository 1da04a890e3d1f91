#!/usr/bin/env bash
# The main job: preview a WAV file through the real sonolook.dll as the host would. Installs what
# is missing, builds the DLL and the preview tool, and runs the tool under wine.
#   tools/preview.sh [--32|--64] [--ansi] [file.wav [WIDTHxHEIGHT [out.png]]]
# --32 (the default) uses the 32-bit DLL, for 32-bit hosts; --64 the 64-bit one, for 64-bit hosts.
# The tool calls the wide entry points, as a Unicode host does, so any file name works; --ansi
# calls the 8-bit ones with the name in the ANSI code page, as an older host does.
# The tool says which DLL it loaded. Without a file, it makes a short sample recording itself and
# previews that.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bits=32
case "${1:-}" in
  --32) shift ;;
  --64) bits=64; shift ;;
esac

# The same build folders and wine prefix as tools/test.sh.
source "$root/tools/build-folders.sh"
build=$(build_folder "$bits")

bash "$root/tools/setup.sh"
configure_build "$bits"
cmake --build "$build" -j"$(nproc)" --target sonolook preview >/dev/null
export WINEPREFIX="${WINEPREFIX:-$wine_prefix}"
exec "$root/tools/wine-run.sh" "$build/bin/preview.exe" "$@"
