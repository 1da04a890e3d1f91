#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds sonolook.dll and the test programs, and
# runs them under wine through CTest.
#   tools/test.sh          everything: the native run (below), then both widths: the product
#                          (32-bit, in build/) and the same code built for 64-bit Windows (build64/),
#                          the 32-bit run with the release packages' test (ctest label "package")
#   tools/test.sh 32|64    one width only
#   tools/test.sh native   the native run only: the test programs built as Linux programs with
#                          clang under AddressSanitizer, UndefinedBehaviorSanitizer and
#                          LeakSanitizer (build-native/), then each fuzz target for a bounded time
#                          (SONOLOOK_FUZZ_SECONDS, default 60; 0 skips fuzzing; tools/fuzz.sh runs
#                          longer). The fast way to run the suite while developing.
# Further arguments go to ctest, e.g. tools/test.sh 32 -R core_tests (and then the packages' test
# runs only if they select it, as in tools/test.sh 32 -L package).
#   SONOLOOK_BUILD_DIR=dir   moves the build folders (tools/build-folders.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/build-folders.sh"

widths="native 32 64"
case "${1:-}" in
  32|64|native) widths=$1; shift ;;
  "") ;;
  -*) ;;
  *) echo "usage: tools/test.sh [32|64|native] [ctest arguments]" >&2; exit 2 ;;
esac

bash "$root/tools/setup.sh"

# What a reader of the last lines should not miss: repeated at the end of the run.
notes=()
for bits in $widths; do
  build=$(build_folder "$bits")
  echo "== $bits build in $build"
  configure_build "$bits"
  cmake --build "$build" -j"$(nproc)"
  if [ "$bits" = native ]; then
    (cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")
    SONOLOOK_NATIVE_BUILD="$build" bash "$root/tools/fuzz.sh" --built "${SONOLOOK_FUZZ_SECONDS:-60}"
    continue
  fi
  filter=${GTEST_FILTER:-}
  if [ "$bits" = 32 ] && [ -e /proc/sys/fs/binfmt_misc/sonolook-i386-exec ] && [ -z "$filter" ]; then
    # This machine runs 32-bit code only through the user-mode emulator, under which wine's
    # thread wake-ups are unreliable: tests that hammer many threads run in the 64-bit build.
    notes+=("32-bit code runs emulated here: the *ManyThreads* tests were left to the 64-bit build")
    echo "== ${notes[-1]}"
    filter='-*ManyThreads*'
  fi
  (cd "$build" && env ${filter:+GTEST_FILTER=$filter} ctest --output-on-failure -j"$(nproc)" "$@")
  # A plain ctest leaves the release packages out (they take minutes); the suite asks for them.
  if [ "$bits" = 32 ] && [ $# -eq 0 ]; then
    (cd "$build" && ctest --output-on-failure -L package)
  fi
done

echo "== every test passed: $widths"
for note in "${notes[@]}"; do
  echo "== note: $note"
done
