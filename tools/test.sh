#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds sonolook.dll and the test programs, and
# runs them under wine through CTest.
#   tools/test.sh          everything: the native run (below), then both widths: the product
#                          (32-bit, in build/) and the same code built for 64-bit Windows (build64/)
#   tools/test.sh 32|64    one width only
#   tools/test.sh native   the native run only: the test programs built as Linux programs with
#                          clang under AddressSanitizer, UndefinedBehaviorSanitizer and
#                          LeakSanitizer (build-native/), then each fuzz target for a bounded time
#                          (SONOLOOK_FUZZ_SECONDS, default 60; 0 skips fuzzing; tools/fuzz.sh runs
#                          longer). The fast way to run the suite while developing.
# Further arguments go to ctest, e.g. tools/test.sh 32 -R core_tests
#   SONOLOOK_BUILD_DIR=dir puts the 32-bit build in dir and the 64-bit one in dir64 (for parallel
#                          work on one checkout); each width always has a folder of its own.
# Both widths run in one wine prefix, kept in the 32-bit build folder: a 64-bit prefix runs 32-bit
# programs too, and making one is slow (far slower where 32-bit code runs emulated).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

widths="native 32 64"
case "${1:-}" in
  32|64|native) widths=$1; shift ;;
  "") ;;
  -*) ;;
  *) echo "usage: tools/test.sh [32|64|native] [ctest arguments]" >&2; exit 2 ;;
esac

bash "$root/tools/setup.sh"

build32=${SONOLOOK_BUILD_DIR:-$root/build}
build32=${build32%/}
prefix=$build32/wineprefix

for bits in $widths; do
  if [ "$bits" = native ]; then
    build=${build32}-native
    echo "== native build under the sanitizers in $build"
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/native-clang.cmake" >/dev/null
    cmake --build "$build" -j"$(nproc)"
    (cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")
    SONOLOOK_NATIVE_BUILD="$build" bash "$root/tools/fuzz.sh" "${SONOLOOK_FUZZ_SECONDS:-60}"
    continue
  fi
  if [ "$bits" = 32 ]; then
    toolchain=i686-w64-mingw32
    build=$build32
  else
    toolchain=x86_64-w64-mingw32
    build=${build32}64
  fi
  echo "== $bits-bit build in $build"
  # CMake refuses a folder first configured with the other width's toolchain (it would keep the
  # old compiler and test the wrong code).
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DSONOLOOK_WINEPREFIX="$prefix" >/dev/null
  cmake --build "$build" -j"$(nproc)"
  filter=${GTEST_FILTER:-}
  if [ "$bits" = 32 ] && [ -e /proc/sys/fs/binfmt_misc/sonolook-i386-exec ] && [ -z "$filter" ]; then
    # This machine runs 32-bit code only through the user-mode emulator, under which wine's
    # thread wake-ups are unreliable: tests that hammer many threads run in the 64-bit build.
    echo "== 32-bit code runs emulated here: many-thread tests are left to the 64-bit build"
    filter='-*ManyThreads*'
  fi
  (cd "$build" && env ${filter:+GTEST_FILTER=$filter} ctest --output-on-failure -j"$(nproc)" "$@")
done
