#!/usr/bin/env bash
# Writes what the main window looks like in the smallest terminal it takes,
# 80 x 24 (or COLUMNSxROWS given), after the start-up messages, to
# docs/terminal-main-window.txt (or the file given):
#   tests/e2e/capture_main_window.sh build/app/quelmar [OUTPUT [COLUMNSxROWS]]
set -u
here=$(cd "$(dirname "$0")" && pwd)
Q_PROGRAM=${1:?usage: $0 PROGRAM [OUTPUT [COLUMNSxROWS]]}
output=${2:-$here/../../docs/terminal-main-window.txt}
Q_SIZE=${3:-80x24}
# shellcheck source=harness.sh
. "$here/harness.sh"
q_start --rate 0
q_dismiss_startup
q_wait "Ctrl+Q cerrar"                   # the help line, drawn last
q_screen >"$output"
echo "written: $output"
