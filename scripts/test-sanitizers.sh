#!/usr/bin/env bash
# Builds the native test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan) and runs it, except the end-to-end
# tests in tmux (they drive the terminal program, which a sanitized build
# slows down past their screen deadlines). Any report fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale

ensure_packages "${NATIVE_PACKAGES[@]}"
build="$QUELMAR_ROOT/build-asan"
cmake -S "$QUELMAR_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUELMAR_SANITIZE=ON -DQUELMAR_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(build_jobs)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j "$(build_jobs)" -LE e2e -E '^e2e_'
