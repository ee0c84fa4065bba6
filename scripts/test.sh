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

# Every stage is part of the test command: a missing one fails the run
# rather than being skipped.
run_stage() {
    local title="$1" script="$QUELMAR_ROOT/scripts/$2"
    shift 2
    [ -x "$script" ] || { echo "Falta la etapa $script" >&2; exit 1; }
    echo "== $title"
    "$script" "$@"
}
run_stage "AddressSanitizer + UndefinedBehaviorSanitizer" test-sanitizers.sh
run_stage "Fuzzing (short runs)" fuzz.sh --short
run_stage "Windows build and tests under Wine" test-windows.sh
run_stage "Installable products: Windows installer and Debian package" test-package.sh

echo "== Every test passed in $(( $(date +%s) - started )) s"
