#!/usr/bin/env bash
# The code's format, checked on the sources: every C and C++ file git knows
# is as clang-format (with the repository's .clang-format) would write it.
# Prints the files that are not; fails on any.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
# One run for all files; each finding names its file.
mapfile -t unformatted < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 | grep -oE '^[^:]+:[0-9]+:[0-9]+: error' | cut -d: -f1 | sort -u)
if [ ${#unformatted[@]} -gt 0 ]; then
    printf 'not formatted (clang-format -i %s):\n' "${unformatted[*]}"
    exit 1
fi
echo "format: ${#files[@]} files as clang-format writes them"
