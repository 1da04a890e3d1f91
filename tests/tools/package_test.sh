#!/usr/bin/env bash
# The release packages: runs tools/package.sh with its Release builds kept in WORK (so that a
# second run of the suite rebuilds only what changed) and checks what each zip holds.
#   tests/tools/package_test.sh WORK VERSION
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
version=$2

bash "$root/tools/package.sh" --work "$work" --out "$work/dist" >/dev/null || { echo "FAILED: tools/package.sh"; exit 1; }

failures=0
fail() {
  echo "FAILED ($arch): $*"
  failures=$((failures + 1))
}

# The one library built here from foreign sources; its licence is the header of its source file.
dlmalloc=licences/dlmalloc.txt

# arch, width, Debian package of the mingw-w64 runtime
while read -r arch bits runtime; do
  zip=$work/dist/sonolook-$version-$arch.zip
  if [ ! -f "$zip" ]; then
    fail "no $zip"
    continue
  fi
  dir=$work/unpacked-$arch
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && cmake -E tar xf "$zip")

  listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | tr '\n' ' ')
  expected=$(printf '%s\n' INSTALL.txt SHA256SUMS sonolook.dll licences/gcc-mingw-w64-base.txt \
    licences/libz-mingw-w64-dev.txt "licences/$runtime.txt" $dlmalloc | sort | tr '\n' ' ')
  [ "$listing" = "$expected" ] || fail "holds $listing, not $expected"

  (cd "$dir" && sha256sum --quiet -c SHA256SUMS) || fail "a checksum does not match"
  [ "$(wc -l <"$dir/SHA256SUMS")" = "$(find "$dir" -type f ! -name SHA256SUMS | wc -l)" ] ||
    fail "SHA256SUMS does not list every file"

  # The DLL's machine, imports and exports are the packager's own checks (it refuses to zip a DLL
  # that fails them); what it zipped is checked here.

  # The fixed file information of the version resource follows its signature 0xFEEF04BD and the
  # structure's own version word; the file version's two words come next.
  signature=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$dir/sonolook.dll" | head -n1 | cut -d: -f1 || true)
  words=none
  if [ -n "$signature" ]; then
    words=$(od -An -tx4 -j$((signature + 8)) -N8 "$dir/sonolook.dll" | xargs)
  fi
  IFS=. read -r major minor patch tweak <<<"$version"
  [ "$words" = "$(printf '%08x %08x' $(((major << 16) | minor)) $(((patch << 16) | tweak)))" ] ||
    fail "the version resource says $words for $version"

  install=$(tr -d '\r' <"$dir/INSTALL.txt")
  [ "$(grep -c $'\r$' "$dir/INSTALL.txt")" = "$(wc -l <"$dir/INSTALL.txt")" ] || fail "INSTALL.txt has Unix line ends"
  for phrase in "sonolook $version for $bits-bit hosts" "sonolook-$version-x86.zip" "sonolook-$version-x64.zip" \
    "viewer-plugins folder" '"File version"' "licences/$runtime.txt" "licences/gcc-mingw-w64-base.txt" \
    "licences/libz-mingw-w64-dev.txt" $dlmalloc; do
    grep -qF -- "$phrase" <<<"$install" || fail "INSTALL.txt does not say $phrase"
  done

  grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$dir/licences/gcc-mingw-w64-base.txt" || fail "no GCC runtime exception"
  grep -q "^License: Zlib" "$dir/licences/libz-mingw-w64-dev.txt" || fail "no zlib licence"
  grep -q "winpthreads" "$dir/licences/$runtime.txt" || fail "no winpthreads licence"
  grep -qi "public domain" "$dir/$dlmalloc" || fail "no dlmalloc licence"
done <<'WIDTHS'
x86 32 mingw-w64-i686-dev
x64 64 mingw-w64-x86-64-dev
WIDTHS

if [ "$failures" -gt 0 ]; then
  exit 1
fi
echo "both packages hold what they should: $work/dist"
