#!/usr/bin/env bash
# Builds quelmar.exe and every test with MinGW-w64 (static, no DLLs) and runs
# the tests under Wine, headless. Installs what it needs on Debian/Ubuntu.
# Safe to run again: the build directory is reused. Runs under C.UTF-8
# whatever the caller's locale, as the other test scripts do.
#
#   scripts/test-windows.sh            build-windows/ next to the sources
#   scripts/test-windows.sh --build-only   the build, without running the tests
#   BUILD_DIR=/tmp/w JOBS=4 scripts/test-windows.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale
cd "$QUELMAR_ROOT"
BUILD_DIR=${BUILD_DIR:-build-windows}
JOBS=${JOBS:-2}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v make >/dev/null 2>&1 || missing="$missing make"
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing="$missing mingw-w64 g++-mingw-w64-x86-64-posix"
command -v wine >/dev/null 2>&1 || missing="$missing wine wine64"
[ -f /usr/src/googletest/CMakeLists.txt ] || missing="$missing googletest"
[ -d /usr/share/fonts/truetype/liberation ] || missing="$missing fonts-liberation"
command -v Xvfb >/dev/null 2>&1 || missing="$missing xvfb"
command -v import >/dev/null 2>&1 || missing="$missing imagemagick"
# SQLite for quelmar.exe: Debian's source package of the native library's
# version, unpacked and made into one amalgamation (scripts/sqlite-windows.sh).
command -v dpkg-source >/dev/null 2>&1 || missing="$missing dpkg-dev"
command -v tclsh >/dev/null 2>&1 || missing="$missing tcl"
command -v gcc >/dev/null 2>&1 || missing="$missing gcc"
dpkg-query -W -f='${Status}' libsqlite3-dev 2>/dev/null | grep -q "install ok installed" || missing="$missing libsqlite3-dev"
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    as_root apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y --no-install-recommends $missing
fi

sqlite=$(scripts/sqlite-windows.sh "$BUILD_DIR")
cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUELMAR_BENCHMARKS=OFF \
    -DQUELMAR_SQLITE_AMALGAMATION="$sqlite"
cmake --build "$BUILD_DIR" -j "$JOBS"
[ "${1:-}" = --build-only ] && exit 0
# The tests run through Wine (CMAKE_CROSSCOMPILING_EMULATOR) inside a fixture
# that prepares a private prefix in the build directory and starts and stops
# its Wine server; DISPLAY is unset for them, so no display is needed.
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 300
