#!/usr/bin/env bash
# The main job: preview a WAV file through the real sonolook.dll as the host would. Installs what
# is missing, builds the 32-bit DLL and the preview tool, and runs the tool under wine.
#   tools/preview.sh [file.wav [WIDTHxHEIGHT [out.png]]]
# Without a file, the tool makes a short sample recording itself and previews that.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SONOLOOK_BUILD_DIR:-$root/build}

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target sonolook preview >/dev/null
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
exec "$root/tools/wine-run.sh" "$build/bin/preview.exe" "$@"
