#!/usr/bin/env bash
# Release packages: builds sonolook.dll for both widths in Release, each in a build folder of its
# own, and writes dist/sonolook-VERSION-x86.zip and dist/sonolook-VERSION-x64.zip. Each holds
# sonolook.dll, INSTALL.txt (which DLL for which host, where it goes, how to check its version),
# the licence of every library linked into the DLL, taken from the installed Debian package that
# supplied it, and SHA256SUMS. The version is the build's (SONOLOOK_VERSION in CMakeLists.txt).
#   tools/package.sh [--out DIR] [--work DIR]
#   --out DIR   where the zips go (default: dist/ in the checkout)
#   --work DIR  keeps the Release build folders in DIR and rebuilds there incrementally (the test
#               suite does this, so that a second run rebuilds only what changed). Without it the
#               builds start from empty folders that are removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

out=$root/dist
work=
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=${2:?}; shift 2 ;;
    --work) work=${2:?}; shift 2 ;;
    *) echo "usage: tools/package.sh [--out DIR] [--work DIR]" >&2; exit 2 ;;
  esac
done

fail() {
  echo "package: $*" >&2
  exit 1
}

bash "$root/tools/setup.sh"

if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work" "$out"
work=$(cd "$work" && pwd)
out=$(cd "$out" && pwd)

# The zip entries carry the time of the last commit rather than the time of packaging.
stamp=$(TZ=UTC git -C "$root" log -1 --date=format-local:'%Y-%m-%d %H:%M:%SZ' --format=%cd 2>/dev/null ||
  date -u '+%Y-%m-%d %H:%M:%SZ')

# build ARCH TOOLCHAIN: the DLL alone, in Release, in $work/ARCH.
build() {
  local build=$work/$1
  # Linked without symbols, which serve nobody who installs the plugin, and without the link time
  # in its headers, so that the same sources give the same DLL, byte for byte. (Stripping
  # afterwards would stamp the time again.)
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF "-DCMAKE_SHARED_LINKER_FLAGS=-s -Wl,--no-insert-timestamp" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target sonolook >/dev/null
}

version_of() {
  sed -n 's/^#define SONOLOOK_VERSION_TEXT "\(.*\)"$/\1/p' "$work/$1/generated/plugin/Version.h"
}

# check_dll ARCH TOOLCHAIN FORMAT: refuses a DLL of the wrong machine, one that needs a DLL beyond
# Windows' own (a runtime that was not linked in), or one whose exports are not the host's nine
# (the six entry points and the wide forms of the three that take text).
check_dll() {
  local dll=$work/$1/bin/sonolook.dll dump imports exports
  dump=$("$2-objdump" -p "$dll")
  grep -q "file format $3\$" <<<"$dump" || fail "$dll is not $3"
  imports=$(sed -n 's/^\tDLL Name: //p' <<<"$dump" | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
  [ "$imports" = "GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || fail "$dll imports $imports"
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$dump" | LC_ALL=C sort | tr '\n' ' ')
  [ "$exports" = "DVP_IdentifyA DVP_IdentifyFileA DVP_IdentifyFileW DVP_IdentifyW DVP_Init DVP_LoadBitmapA DVP_LoadBitmapW DVP_USBSafe DVP_Uninit " ] ||
    fail "$dll exports $exports"
}

# licences ARCH STAGE: copies into STAGE/licences the licence of every static library that the
# link map shows in the DLL and prints one line per licence file with the libraries it covers.
licences() {
  local build=$work/$1 stage=$2 archive name package copyright file
  local -A covers=()
  mkdir -p "$stage/licences"
  while read -r archive; do
    name=$(basename "$archive" .a)
    name=${name#lib}
    case "$archive" in
      # Relative paths are the build tree's own.
      [!/]*|"$build"/*)
        # The plugin's own objects; the one library built here from foreign sources is dlmalloc.
        case "$name" in
          *dlmalloc*) covers[licences/dlmalloc.txt]=", dlmalloc" ;;
          objects) ;;
          *) fail "no licence known for $archive, built in $build" ;;
        esac
        continue ;;
    esac
    case "$name" in
      # Import libraries: the code they stand for is Windows' own.
      kernel32|user32|gdi32|msvcrt) continue ;;
    esac
    package=$(dpkg -S "$(realpath -e "$archive")" | head -n1 | cut -d: -f1) ||
      fail "$archive belongs to no installed package"
    copyright=$(realpath -e "/usr/share/doc/$package/copyright") || fail "$package has no copyright file"
    file=licences/$(basename "$(dirname "$copyright")").txt
    cp "$copyright" "$stage/$file"
    case "$name" in
      z) name=zlib ;;
      pthread|winpthread) name=winpthreads ;;
      mingw32|mingwex) name="lib$name (mingw-w64 runtime)" ;;
      *) name=lib$name ;;
    esac
    covers[$file]+=", $name"
  done < <(sed -n 's/^\([^ (][^ (]*\.a\)(.*/\1/p' "$build/sonolook.map" | sort -u)

  # dlmalloc is compiled from Debian's libffi sources; its licence is the header of dlmalloc.c.
  if grep -qi dlmalloc "$build/sonolook.map"; then
    local source
    source=$(find "$build" -name dlmalloc.c -print -quit)
    [ -n "$source" ] || fail "the DLL holds dlmalloc, but $build has no dlmalloc.c to take its licence from"
    # The opening paragraph of the file's header states the licence; the version line follows it.
    {
      echo "From the header of dlmalloc.c, as Debian's source package of libffi carries it:"
      echo
      awk 'NR > 1 && /^[[:space:]]*$/ { exit } NR > 1 { print }' "$source"
      echo
      grep -m1 '^\* Version' "$source"
    } >"$stage/licences/dlmalloc.txt"
    covers[licences/dlmalloc.txt]=", dlmalloc"
  fi
  for file in "${!covers[@]}"; do
    printf '  %-36s%s\n' "$file" "${covers[$file]#, }"
  done | sort
}

# package ARCH BITS MACHINE: stages and zips one width.
package() {
  local arch=$1 stage=$work/stage-$1 zip
  rm -rf "$stage"
  mkdir -p "$stage"
  cp "$work/$arch/bin/sonolook.dll" "$stage/"
  local listing
  listing=$(licences "$arch" "$stage")
  # INSTALL.txt with Windows line ends, for Notepad.
  awk -v version="$version" -v bits="$2" -v machine="$3" -v listing="$listing" '
    /^@LICENCES@$/ { print listing; next }
    { gsub(/@VERSION@/, version); gsub(/@BITS@/, bits); gsub(/@MACHINE@/, machine); print }
  ' "$root/tools/package/INSTALL.txt" | sed 's/$/\r/' >"$stage/INSTALL.txt"
  (cd "$stage" && sha256sum sonolook.dll INSTALL.txt licences/*.txt >SHA256SUMS)
  zip=$out/sonolook-$version-$arch.zip
  rm -f "$zip"
  (cd "$stage" && cmake -E tar cf "$zip" --format=zip --mtime="$stamp" -- sonolook.dll INSTALL.txt licences SHA256SUMS)
  echo "$zip"
}

build x86 i686-w64-mingw32
build x64 x86_64-w64-mingw32
version=$(version_of x86)
[ -n "$version" ] && [ "$version" = "$(version_of x64)" ] || fail "the two builds disagree on the version"
check_dll x86 i686-w64-mingw32 pei-i386
check_dll x64 x86_64-w64-mingw32 pei-x86-64
package x86 32 "PE32, i386"
package x64 64 "PE32+, x86-64"
