#!/bin/sh
# Runs a cross-compiled test under Wine. Now and then Wine fails to start a
# program at all ("ShellExecuteEx failed: Internal error") while the server
# is still busy with the previous one; that says nothing about the test, so
# the start is tried again. A test that started is never rerun.
output=$(mktemp) || exit 1
trap 'rm -f "$output"' EXIT
attempt=1
while :; do
    wine "$@" >"$output" 2>&1
    status=$?
    if [ $status -ne 0 ] && [ $attempt -lt 3 ] && grep -q "ShellExecuteEx failed" "$output" &&
        ! grep -q "\[==========\]" "$output"; then
        attempt=$((attempt + 1))
        sleep 1
        continue
    fi
    cat "$output"
    exit $status
done
