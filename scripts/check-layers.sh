#!/usr/bin/env bash
# The layers' rule, checked on the sources: a folder includes only its own
# headers and those of the layers below it (app, ui, scale, storage, usbio,
# platform, from the top; sim beside them, above platform only), and only the
# Win32 code includes <windows.h>. Prints each offending line; fails on any.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

declare -A allowed=(
    [platform]="platform"
    [usbio]="usbio platform"
    [storage]="storage platform"
    [scale]="scale storage usbio platform"
    [ui]="ui scale storage usbio platform"
    [sim]="sim platform"
    [app]="app ui scale storage usbio platform sim"
)
status=0
for layer in "${!allowed[@]}"; do
    while IFS= read -r hit; do
        included="${hit#*#include \"}"
        included="${included%%/*}"
        if [[ " ${allowed[$layer]} " != *" $included "* ]]; then
            echo "$layer reaches up: $hit"
            status=1
        fi
    done < <(grep -rnE '^#include "[a-z]+/' "$layer" --include='*.h' --include='*.cpp' || true)
done
while IFS= read -r hit; do
    case "$hit" in
        platform/win32/* | ui/win32/* | app/main_win32.cpp:*) ;;
        *) echo "portable code includes <windows.h>: $hit"; status=1 ;;
    esac
done < <(grep -rnE '^#include <windows\.h>' app ui scale storage usbio platform sim || true)
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
