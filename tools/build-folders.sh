# Sourced, not run: where each configuration of the build lives and how it is configured, for the
# scripts that build (tools/test.sh, tools/preview.sh, tools/fuzz.sh). Needs $root, the checkout.
#   SONOLOOK_BUILD_DIR=dir   the 32-bit build in dir, the 64-bit one in dir64 and the native one in
#                            dir-native (default dir: build/ in the checkout); each configuration
#                            always has a folder of its own, and one wine prefix serves both widths.

build_base=${SONOLOOK_BUILD_DIR:-$root/build}
build_base=${build_base%/}
# A 64-bit prefix runs 32-bit programs too, and making one is slow (far slower where 32-bit code
# runs emulated), so both widths share the one kept in the 32-bit folder.
wine_prefix=$build_base/wineprefix

# build_folder 32|64|native
build_folder() {
  case "$1" in
    32) echo "$build_base" ;;
    64) echo "${build_base}64" ;;
    native) echo "${build_base}-native" ;;
  esac
}

# configure_build 32|64|native [folder]: configures that configuration's folder (or the one named)
# for its toolchain, quietly. CMake refuses a folder first configured with another toolchain (it
# would keep the old compiler and test the wrong code).
configure_build() {
  local toolchain
  case "$1" in
    32) toolchain=i686-w64-mingw32 ;;
    64) toolchain=x86_64-w64-mingw32 ;;
    native) toolchain=native-clang ;;
  esac
  cmake -S "$root" -B "${2:-$(build_folder "$1")}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DSONOLOOK_WINEPREFIX="$wine_prefix" >/dev/null
}
