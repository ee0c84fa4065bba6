#!/usr/bin/env bash
# Runs one end-to-end flow: run.sh PROGRAM FLOW. The flows are the functions
# named flow_* in flows/*.sh. To add one, write a function flow_NAME (harness
# calls from harness.sh) in a file of flows/, one file per area; CMake turns
# it into the CTest test e2e_NAME at the next configure.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ne 2 ]; then
    echo "usage: $0 PROGRAM FLOW" >&2
    exit 2
fi
command -v tmux >/dev/null || { echo "tmux is not installed" >&2; exit 2; }
Q_PROGRAM=$1
flow=$2
# shellcheck source=harness.sh
. "$here/harness.sh"
for file in "$here"/flows/*.sh; do
    # shellcheck disable=SC1090
    . "$file"
done
declare -F "flow_$flow" >/dev/null || { echo "no flow named $flow" >&2; exit 2; }
"flow_$flow"
echo "passed: $flow"
