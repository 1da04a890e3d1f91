#!/usr/bin/env bash
# Fetches Debian's source package of libffi, whose src/dlmalloc.c is the allocator behind the
# mspace heap kind. The build extracts that one file from the package; nothing of it is kept in
# the repository. Source entries are derived from this machine's own apt sources (each entry for
# the release's main suite, as deb-src) and kept in a private apt state, so the machine's own apt
# configuration is left as it was; that state is removed again when the script ends. Quick when the package is already here. Run as root.
#   tools/fetch-dlmalloc.sh [directory]     default /var/cache/sonolook/libffi
set -euo pipefail

target=${1:-/var/cache/sonolook/libffi}
if compgen -G "$target/libffi_*.orig.tar.*" >/dev/null; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "fetch-dlmalloc: fetching libffi's source package needs apt's state (run tools/setup.sh as root)" >&2
  exit 1
fi

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ]; then
  echo "fetch-dlmalloc: /etc/os-release names no release codename" >&2
  exit 1
fi

# The private apt state lives in a folder made here and removed on exit: nothing beside the
# target (which may be any folder the caller names) is ours to delete.
state=$(mktemp -d "${TMPDIR:-/tmp}/fetch-dlmalloc.XXXXXX")
trap 'rm -rf "$state"' EXIT
# mktemp makes it private to root; apt's unprivileged downloader must reach lists/partial.
chmod 755 "$state"
mkdir -p "$state/parts" "$state/lists/partial" "$target"
# apt downloads as its own unprivileged user where it can write.
if id _apt >/dev/null 2>&1; then
  chown _apt "$target"
fi

# One-line entries: "deb [options] uri <codename> components" becomes "deb-src ...".
shopt -s nullglob
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$list" ] || continue
  awk -v codename="$codename" '
    $1 == "deb" {
      n = 2
      if ($2 ~ /^\[/) { while (n <= NF && $n !~ /\]$/) n++; n++ }
      if ($(n + 1) == codename) { sub(/^deb/, "deb-src"); print }
    }' "$list"
done >"$state/derived.list"

# deb822 stanzas whose suites include the release's own: copied with Types deb-src and that
# suite alone (continuation lines such as an inline key stay as they are).
for sources in /etc/apt/sources.list.d/*.sources; do
  awk -v codename="$codename" '
    function flush() {
      if (stanza != "" && isDeb && hasSuite) printf "%s\n", stanza
      stanza = ""; isDeb = 0; hasSuite = 0
    }
    /^[ \t]*$/ { flush(); next }
    /^#/ { next }
    /^Types:/ {
      for (i = 2; i <= NF; i++) if ($i == "deb") isDeb = 1
      stanza = stanza "Types: deb-src\n"; next
    }
    /^Suites:/ {
      for (i = 2; i <= NF; i++) if ($i == codename) hasSuite = 1
      stanza = stanza "Suites: " codename "\n"; next
    }
    { stanza = stanza $0 "\n" }
    END { flush() }' "$sources"
done >"$state/parts/derived.sources"

if [ ! -s "$state/derived.list" ] && [ ! -s "$state/parts/derived.sources" ]; then
  echo "fetch-dlmalloc: this machine's apt sources have no entry for $codename to derive source entries from" >&2
  exit 1
fi

apt_private=(
  -o "Dir::Etc::SourceList=$state/derived.list"
  -o "Dir::Etc::SourceParts=$state/parts"
  -o "Dir::State::Lists=$state/lists"
  -o "Dir::Cache::pkgcache="
  -o "Dir::Cache::srcpkgcache="
)
echo "fetch-dlmalloc: fetching Debian's libffi source package (for src/dlmalloc.c)"
apt-get -qq "${apt_private[@]}" update
(cd "$target" && apt-get -qq "${apt_private[@]}" source --download-only libffi >/dev/null)
if ! compgen -G "$target/libffi_*.orig.tar.*" >/dev/null; then
  echo "fetch-dlmalloc: apt-get source left no libffi source archive in $target" >&2
  exit 1
fi
