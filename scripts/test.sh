#!/usr/bin/env bash
# Builds and runs every test: the native suite (with the end-to-end tests of
# the terminal program in tmux), the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, short fuzzing runs, and the Windows build with
# its tests under Wine. Installs what it needs; safe to run again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale

ensure_packages "${NATIVE_PACKAGES[@]}"
started=$(date +%s)

echo "== Native build and tests"
native="$QUELMAR_ROOT/build-test"
cmake -S "$QUELMAR_ROOT" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$(build_jobs)"
ctest --test-dir "$native" --output-on-failure -j "$(build_jobs)"

if [ -x "$QUELMAR_ROOT/scripts/test-sanitizers.sh" ]; then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
    "$QUELMAR_ROOT/scripts/test-sanitizers.sh"
fi
if [ -x "$QUELMAR_ROOT/scripts/fuzz.sh" ]; then
    echo "== Fuzzing (short runs)"
    "$QUELMAR_ROOT/scripts/fuzz.sh" --short
fi
if [ -x "$QUELMAR_ROOT/scripts/test-windows.sh" ]; then
    echo "== Windows build and tests under Wine"
    "$QUELMAR_ROOT/scripts/test-windows.sh"
fi

echo "== Every test passed in $(( $(date +%s) - started )) s"
