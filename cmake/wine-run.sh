#!/bin/sh
# Runs a cross-compiled test under Wine. Now and then Wine fails to start a
# program at all ("ShellExecuteEx failed: Internal error", or an exit with no
# output while the server is still busy with the previous program or a fresh
# prefix); that says nothing about the test, so the start is tried again. A
# test that started (GoogleTest printed its banner) is never rerun.
output=$(mktemp) || exit 1
trap 'rm -f "$output"' EXIT
attempt=1
while :; do
    wine "$@" >"$output" 2>&1
    status=$?
    if [ $status -ne 0 ] && [ $attempt -lt 3 ] && ! grep -q "\[==========\]" "$output"; then
        attempt=$((attempt + 1))
        sleep 1
        continue
    fi
    cat "$output"
    exit $status
done
