#!/usr/bin/env bash
# Runs one end-to-end flow: run.sh PROGRAM FLOW [COLUMNSxROWS]. The flows
# are the functions named flow_* in flows/*.sh. To add one, write a function
# flow_NAME (harness calls from harness.sh) in a file of flows/, one file per
# area; CMake turns it into the CTest tests e2e_NAME (100 x 35) and
# e2e_NAME_80x24 at the next configure.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 PROGRAM FLOW [COLUMNSxROWS]" >&2
    exit 2
fi
command -v tmux >/dev/null || { echo "tmux is not installed" >&2; exit 2; }
Q_PROGRAM=$1
flow=$2
[ $# -eq 3 ] && export Q_SIZE=$3
# shellcheck source=harness.sh
. "$here/harness.sh"
for file in "$here"/flows/*.sh; do
    # shellcheck disable=SC1090
    . "$file"
done
declare -F "flow_$flow" >/dev/null || { echo "no flow named $flow" >&2; exit 2; }
"flow_$flow"
echo "passed: $flow"
