#!/usr/bin/env bash
# Writes what the main window looks like in an 80 x 30 terminal, after the
# start-up messages, to docs/terminal-main-window.txt (or the file given):
#   tests/e2e/capture_main_window.sh build/app/quelmar [OUTPUT]
set -u
here=$(cd "$(dirname "$0")" && pwd)
Q_PROGRAM=${1:?usage: $0 PROGRAM [OUTPUT]}
output=${2:-$here/../../docs/terminal-main-window.txt}
# shellcheck source=harness.sh
. "$here/harness.sh"
q_start() {
    q_tmux new-session -d -s "$Q_SESSION" -x 80 -y 30 \
        "env LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM=screen-256color QUELMAR_DRIVE_C=$(printf '%q' "$Q_DRIVE") $(printf '%q' "$Q_PROGRAM") --rate 0; sleep 600"
}
q_start
q_dismiss_startup
sleep 0.3
q_screen >"$output"
echo "written: $output"
