#!/bin/sh
# Prepares SQLite for the Windows build: the amalgamation (sqlite3.c and
# sqlite3.h) of Debian's own sqlite3 source package, the same version as the
# native libsqlite3-dev, which quelmar.exe links statically.
#
#   scripts/sqlite-windows.sh <build-dir>      prints the folder of sqlite3.c
#
# The source package is fetched through a private apt configuration in
# <build-dir>/sqlite-apt (a deb-src copy of the system's Debian sources, its
# own lists and cache): /etc/apt is never changed. Everything stays in the
# build directory; nothing of SQLite enters the repository. Safe to run
# again: a finished amalgamation of the right version is kept.
set -eu
BUILD_DIR=$(mkdir -p "$1" && cd "$1" && pwd)
WORK="$BUILD_DIR/sqlite"
APT="$BUILD_DIR/sqlite-apt"

version=$(dpkg-query -W -f='${Version}' libsqlite3-dev)
out="$WORK/amalgamation-$version"
if [ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ]; then
    echo "$out"
    exit 0
fi

# Progress goes to stderr: stdout is the answer.
exec 3>&1 1>&2
mkdir -p "$APT/parts" "$APT/lists/partial" "$APT/cache/archives/partial" "$WORK"

# The system's Debian sources, as deb-src entries (deb822 and one-line files).
: >"$APT/parts/debian-src.sources"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /URIs:[^\n]*debian/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$APT/parts/debian-src.sources"
done
: >"$APT/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\(.*debian.*\)$/deb-src \1/p' "$f" >>"$APT/sources.list"
done

apt_private() {
    apt-get -q -o Dir::Etc::SourceList="$APT/sources.list" -o Dir::Etc::SourceParts="$APT/parts" \
        -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache" -o Debug::NoLocking=1 "$@"
}
apt_private update
rm -rf "$WORK/src" && mkdir -p "$WORK/src"
(cd "$WORK/src" && apt_private source --download-only "sqlite3=$version")
dsc=$(ls "$WORK"/src/sqlite3_*.dsc)
(cd "$WORK/src" && dpkg-source --no-check -x "$dsc" tree)

# The tree's own amalgamation rule (it runs tclsh), built out of the tree.
mkdir -p "$WORK/make"
(cd "$WORK/make" && "$WORK/src/tree/configure" --disable-tcl --disable-readline >/dev/null &&
    make -j2 sqlite3.c >/dev/null)
mkdir -p "$out"
cp "$WORK/make/sqlite3.c" "$WORK/make/sqlite3.h" "$out/"
rm -rf "$WORK/src" "$WORK/make"
echo "$out" >&3
