#!/usr/bin/env bash
# Builds the two installable products into dist/ (git-ignored):
#   dist/quelmar-<version>-setup.exe    the Windows installer (NSIS, 64-bit) of
#                                       the Release quelmar.exe (MinGW cross build)
#   dist/quelmar_<version>_<arch>.deb   the Debian package of the terminal program
# and runs lintian on the package: one with an error is not a product.
# The version is the CMake project's. Installs what it needs; safe to run
# again (the build directories build-package/windows and build-package/linux
# are reused). scripts/test-package.sh installs, starts and removes both.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale

ensure_packages cmake make g++ pkg-config libncurses-dev libusb-1.0-0-dev libsqlite3-dev \
    dpkg-dev file lintian nsis mingw-w64 g++-mingw-w64-x86-64-posix gcc tcl
jobs=$(build_jobs)
builds="$QUELMAR_ROOT/build-package"
dist="$QUELMAR_ROOT/dist"

echo "== Windows installer (Release cross build)"
# The SQLite amalgamation is the one scripts/test-windows.sh prepares (same
# place, so it is fetched and made once for both).
sqlite=$("$QUELMAR_ROOT/scripts/sqlite-windows.sh" "$QUELMAR_ROOT/build-windows")
cmake -S "$QUELMAR_ROOT" -B "$builds/windows" -DCMAKE_TOOLCHAIN_FILE="$QUELMAR_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF -DQUELMAR_BENCHMARKS=OFF \
    -DQUELMAR_SQLITE_AMALGAMATION="$sqlite" >/dev/null
cmake --build "$builds/windows" --target quelmar_installer -j "$jobs"

echo "== Debian package (Release build, CPack)"
# Debian's build flags (hardening: fortify, stack protector, relro, bind-now,
# PIE) on top of the Release ones; CPack strips the program.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$QUELMAR_ROOT" -B "$builds/linux" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF -DQUELMAR_BENCHMARKS=OFF \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$builds/linux" -j "$jobs"
rm -f "$builds/linux"/quelmar_*.deb
(cd "$builds/linux" && cpack -G DEB >/dev/null)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$builds/linux/CMakeCache.txt")
rm -rf "$dist"
mkdir -p "$dist"
cp "$builds/windows/quelmar-$version-setup.exe" "$builds/linux/quelmar_${version}_"*.deb "$dist/"

echo "== lintian"
status=0
report=$(lintian --fail-on error --info "$dist"/quelmar_*.deb 2>&1) || status=$?
# As root, lintian says so first; that line is not about the package.
grep -v "running with root privileges" <<<"$report" || true
[ "$status" -eq 0 ] || { echo "lintian: the package has errors" >&2; exit 1; }
ls -l "$dist"
