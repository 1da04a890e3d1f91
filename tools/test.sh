#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds sonolook.dll and the test programs, and
# runs them under wine through CTest.
#   tools/test.sh        the product: the 32-bit build, in build/
#   tools/test.sh 64     the same code as a 64-bit build, in build64/ (quick to run everywhere)
#   SONOLOOK_BUILD_DIR=dir picks another build tree (for parallel work on one checkout)
# Extra arguments go to ctest, e.g. tools/test.sh 32 -R core_tests
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bits=${1:-32}
[ $# -gt 0 ] && shift

case "$bits" in
  32) toolchain=i686-w64-mingw32; build=${SONOLOOK_BUILD_DIR:-$root/build} ;;
  64) toolchain=x86_64-w64-mingw32; build=${SONOLOOK_BUILD_DIR:-$root/build64} ;;
  *) echo "usage: tools/test.sh [32|64] [ctest arguments]" >&2; exit 2 ;;
esac

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
