#!/usr/bin/env bash
# Builds the program and runs it in this terminal: on the real scale when one
# is attached, else on the simulated scale (--demo, which the window then
# tells). Extra arguments go to the program after it (try --help; --usb or
# --simulate given after --demo wins).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages cmake make g++ libncurses-dev pkg-config libusb-1.0-0-dev libsqlite3-dev
build="$QUELMAR_ROOT/build-run"
cmake -S "$QUELMAR_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUELMAR_TESTS=OFF -DQUELMAR_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target quelmar -j "$(build_jobs)"

# The program never creates the folder of its files ("C:\velsor\"); for a
# demo the folder is prepared in the drive it maps "C:\" to.
drive="${QUELMAR_DRIVE_C:-${XDG_DATA_HOME:-$HOME/.local/share}/quelmar/drive_c}"
mkdir -p "$drive/velsor"
export QUELMAR_DRIVE_C="$drive"
echo "Carpeta C:\\ de la demo: $drive"
exec "$build/app/quelmar" --demo "$@"
