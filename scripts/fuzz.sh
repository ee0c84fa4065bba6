#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in build-fuzz and runs each over its seed
# corpus for a bounded time. New inputs go to build-fuzz/corpus/<target>
# (the seeds under tests/fuzz/corpus are never changed); a crash leaves its
# input in build-fuzz/artifacts and fails the script.
#
#   scripts/fuzz.sh            5 minutes per target
#   scripts/fuzz.sh --short    25 seconds per target (the test command)
#   FUZZ_SECONDS=3600 scripts/fuzz.sh   any other length
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale

seconds="${FUZZ_SECONDS:-300}"
[ "${1:-}" = "--short" ] && seconds=25

ensure_packages cmake make clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest pkg-config libusb-1.0-0-dev libsqlite3-dev
build="$QUELMAR_ROOT/build-fuzz"
flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$QUELMAR_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DQUELMAR_FUZZERS=ON -DQUELMAR_BENCHMARKS=OFF >/dev/null
targets=(calibration_file limits_file work_mode)
cmake --build "$build" -j "$(build_jobs)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/artifacts"
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== fuzz_$target: $seconds s"
    set +e
    "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$corpus" "$QUELMAR_ROOT/tests/fuzz/corpus/$target" 2>&1 |
        grep -E '^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|SUMMARY|.*runtime error|.*invariant broken|artifact_prefix)'
    # grep only hides the progress lines; the fuzzer's own status decides.
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -ne 0 ]; then
        echo "fuzz_$target found a failing input (see $build/artifacts)" >&2
        exit 1
    fi
done
echo "== Fuzzing: no failure"
