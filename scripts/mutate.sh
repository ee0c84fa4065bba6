#!/usr/bin/env bash
# Mutation check: makes one small change to the code at a time (a mistake a
# reviewer could slip in) and shows that the tests notice it.
#
#   scripts/mutate.sh              every mutation in the table below
#   scripts/mutate.sh cancel usbio only those whose name contains one of the
#                                  words (a grep -E pattern each)
#   scripts/mutate.sh --list       the names, files and test programs
#
# The unchanged code is built and its tests run first; they must pass. Then
# each mutation replaces one fragment of one line (it must occur exactly once
# in its file), the listed test programs are rebuilt and run, and the file is
# restored. A mutation is CAUGHT when a test program fails (or runs past
# MUTATE_TIMEOUT seconds, default 120), SURVIVED when every one passes. The
# script ends non-zero when a mutation survived, did not build, or its
# fragment was not found once: the table then needs a look.
#
# It works on a scratch copy of the tree, build-mutate/src (the files git
# knows, kept in step with the worktree on every run), built in
# build-mutate/build, so the worktree is never touched and each run rebuilds
# only what a mutation changes. Logs of the failing programs are in
# build-mutate/logs. MUTATE_JOBS sets the build's parallel jobs (default 2).
#
# Adding a mutation: one `mutation` line in its layer's table,
# scripts/mutations/<layer>.sh:
#   mutation <name> <file> <exact fragment> <replacement> <test program>...
# where a test program is a test target's name, optionally with a GoogleTest
# filter after a colon (usbio_tests:UsbPipeTest.*). A `mutation_windows` line
# names Windows test programs: they are built in a MinGW cross build,
# build-mutate/windows, and run under Wine in that build's own prefix, as
# CTest runs them (cmake/Wine.cmake).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

NAMES=() FILES=() FROMS=() TOS=() TESTS=() CROSS=()
mutation() {
    NAMES+=("$1") FILES+=("$2") FROMS+=("$3") TOS+=("$4") CROSS+=("")
    shift 4
    TESTS+=("$*")
}
mutation_windows() {
    mutation "$@"
    CROSS[-1]=windows
}

# ---- the mutations: one table per layer, scripts/mutations/*.sh

for table in "$(dirname "${BASH_SOURCE[0]}")"/mutations/*.sh; do
    # shellcheck source=/dev/null
    source "$table"
done

# ---- running them

if [ "${1:-}" = "--list" ]; then
    for i in "${!NAMES[@]}"; do printf '%-40s %-24s %s\n' "${NAMES[$i]}" "${FILES[$i]}" "${CROSS[$i]:+(windows) }${TESTS[$i]}"; done
    exit 0
fi

selected=()
for i in "${!NAMES[@]}"; do
    if [ $# -eq 0 ]; then
        selected+=("$i")
        continue
    fi
    for word in "$@"; do
        if grep -qE -- "$word" <<<"${NAMES[$i]}"; then
            selected+=("$i")
            break
        fi
    done
done
if [ ${#selected[@]} -eq 0 ]; then
    echo "no mutation matches: $*" >&2
    exit 2
fi

work="$QUELMAR_ROOT/build-mutate"
src="$work/src"
native="$work/build" windows="$work/windows"
logs="$work/logs"
applied="$work/applied"  # the file a mutation is in, while it is
jobs="${MUTATE_JOBS:-2}"
limit="${MUTATE_TIMEOUT:-120}"
mkdir -p "$src" "$logs"

# The scratch copy: every file git knows (also new ones not yet committed),
# copied only where it differs, so the build stays incremental. A copied file
# takes a fresh time: with its own (older) time the build could keep objects
# compiled from what the copy held before.
(cd "$QUELMAR_ROOT" && git ls-files --cached --others --exclude-standard -z) |
    while IFS= read -r -d '' file; do
        [ -f "$QUELMAR_ROOT/$file" ] || continue
        if ! cmp -s "$QUELMAR_ROOT/$file" "$src/$file"; then
            mkdir -p "$(dirname "$src/$file")"
            cp "$QUELMAR_ROOT/$file" "$src/$file"
        fi
    done
# A run that was killed while a mutation was in place: the copy above has put
# the original back, newer than what the mutant built.
rm -f "$applied"

restore() {
    if [ -f "$applied" ]; then
        # A fresh time, so that the next build compiles the original again.
        cp "$QUELMAR_ROOT/$(cat "$applied")" "$src/$(cat "$applied")"
        rm -f "$applied"
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

# The build that the test programs of mutation $1 are in.
use_build_of() { if [ -n "${CROSS[$1]}" ]; then build="$windows"; else build="$native"; fi; }

configure() {
    local generator=()
    command -v ninja >/dev/null && [ ! -f "$build/Makefile" ] && generator=(-G Ninja)
    cmake -S "$src" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DQUELMAR_BENCHMARKS=OFF "$@" >/dev/null
}

# The test programs a set of mutations needs (target names, filters dropped).
targets_of() {
    local i job
    for i in "$@"; do
        for job in ${TESTS[$i]}; do echo "${job%%:*}"; done
    done | sort -u
}

build_targets() { cmake --build "$build" -j "$jobs" --target "$@" >"$logs/build.log" 2>&1; }

# Runs one test program (target[:filter]); 0 when it passes.
run_test() {
    local job="$1" log="$2"
    local target="${job%%:*}" filter="*"
    [ "$job" != "$target" ] && filter="${job#*:}"
    local program
    program="$(find "$build/tests" -type f \( -name "$target" -o -name "$target.exe" \) -perm -u+x | head -n 1)"
    if [ -z "$program" ]; then
        echo "no test program $target in $build/tests" >"$log"
        return 1
    fi
    local runner=()
    [ "$build" = "$windows" ] && runner=(sh "$src/cmake/wine-run.sh")
    timeout "$limit" "${runner[@]}" "$program" --gtest_brief=1 --gtest_filter="$filter" >"$log" 2>&1
}

for kind in "" windows; do
    group=()
    for i in "${selected[@]}"; do [ "${CROSS[$i]}" = "$kind" ] && group+=("$i"); done
    [ ${#group[@]} -eq 0 ] && continue
    use_build_of "${group[0]}"
    if [ -z "$kind" ]; then
        configure
    else
        # SQLite from Debian's source package, as scripts/test-windows.sh builds it.
        configure -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
            -DQUELMAR_SQLITE_AMALGAMATION="$("$src/scripts/sqlite-windows.sh" "$windows")"
        export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        unset DISPLAY WAYLAND_DISPLAY
        # A server left by an earlier run (kept alive by its device services)
        # would make the setup's own start fail.
        wineserver -k 2>/dev/null || true
        sh "$windows/wine-setup.sh"  # the prefix set up and its server started, as CTest's fixture does
    fi
    mapfile -t needed < <(targets_of "${group[@]}")
    echo "== Unchanged code${kind:+ ($kind)}: ${needed[*]}"
    if ! build_targets "${needed[@]}"; then
        echo "the unchanged code does not build (see $logs/build.log)" >&2
        exit 2
    fi
    for target in "${needed[@]}"; do
        if ! run_test "$target" "$logs/baseline-$target.log"; then
            echo "the unchanged code fails $target (see $logs/baseline-$target.log)" >&2
            exit 2
        fi
    done
done

caught=0 survived=0 broken=0
for i in "${selected[@]}"; do
    name="${NAMES[$i]}" file="${FILES[$i]}" from="${FROMS[$i]}" to="${TOS[$i]}"
    path="$src/$file"
    content="$(cat -- "$path" 2>/dev/null; printf x)"
    content="${content%x}"
    after="${content#*"$from"}"
    if [ ! -f "$path" ] || [[ "$from" == *$'\n'* ]] || [ "$after" = "$content" ] || [[ "$after" == *"$from"* ]]; then
        printf '%-9s %s (%s: the fragment is not there exactly once)\n' "MISSING" "$name" "$file"
        broken=$((broken + 1))
        continue
    fi
    echo "$file" >"$applied"
    use_build_of "$i"
    printf '%s' "${content%%"$from"*}$to$after" >"$path"

    mapfile -t targets < <(targets_of "$i")
    verdict="SURVIVED" detail=""
    if ! build_targets "${targets[@]}"; then
        verdict="NOBUILD" detail="see $logs/$name.build.log"
        cp "$logs/build.log" "$logs/$name.build.log"
    else
        for job in ${TESTS[$i]}; do
            log="$logs/$name.${job%%:*}.log"
            if run_test "$job" "$log"; then
                rm -f "$log"
            else
                verdict="CAUGHT"
                first="$(grep -m 1 -oE '\[  FAILED  \] [^ ]+' "$log" | sed 's/.*\] //' || true)"
                detail+="${detail:+, }${job%%:*}${first:+ ($first)}"
                [ -z "$first" ] && detail+=" (no test failed: crash or time-out, see $log)"
            fi
        done
    fi
    restore
    printf '%-9s %s%s\n' "$verdict" "$name" "${detail:+: $detail}"
    case "$verdict" in
        CAUGHT) caught=$((caught + 1)) ;;
        SURVIVED) survived=$((survived + 1)) ;;
        *) broken=$((broken + 1)) ;;
    esac
done

echo "== ${#selected[@]} mutations: $caught caught, $survived survived, $broken not applied or not built"
[ "$survived" -eq 0 ] && [ "$broken" -eq 0 ]
