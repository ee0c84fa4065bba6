#!/bin/sh
# Screenshots of quelmar.exe on the simulated scale under Wine, on a virtual
# X server with a Wine virtual desktop (which gives the windows their frames):
#   win32-message-box.png   the start-up message over the hidden window
#   win32-main-window.png   the main window once the message is answered,
#                           with the "Balanza simulada" tool window beside it
#
#   scripts/wine-screenshot.sh          into $BUILD_DIR/screenshots/ (build-windows/screenshots/)
#   scripts/wine-screenshot.sh --docs   into docs/, replacing the committed pictures
#
# Uses the cross build of scripts/test-windows.sh (built here if missing).
# Not part of the tests: it needs a few seconds of real time per step.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-windows}
SCREEN=${SCREEN:-:87}
OUT="$BUILD_DIR/screenshots"
case "${1:-}" in
    "") ;;
    --docs) OUT=docs ;;
    *) echo "usage: $0 [--docs]   (without --docs: into $OUT/)" >&2; exit 2 ;;
esac

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
missing=""
command -v Xvfb >/dev/null 2>&1 || missing="$missing xvfb"
command -v import >/dev/null 2>&1 || missing="$missing imagemagick"
command -v xdotool >/dev/null 2>&1 || missing="$missing xdotool"
command -v python3 >/dev/null 2>&1 || missing="$missing python3"
command -v dpkg-source >/dev/null 2>&1 || missing="$missing dpkg-dev"
command -v tclsh >/dev/null 2>&1 || missing="$missing tcl"
if [ -n "$missing" ]; then
    as_root apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y --no-install-recommends $missing
fi

EXE="$BUILD_DIR/app/quelmar.exe"
if [ ! -f "$EXE" ]; then
    cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUELMAR_BENCHMARKS=OFF \
        -DQUELMAR_SQLITE_AMALGAMATION="$(scripts/sqlite-windows.sh "$BUILD_DIR")"
    cmake --build "$BUILD_DIR" -j 2 --target quelmar
fi

# A prefix of its own: the tests' prefix runs its server without a display.
export WINEPREFIX="$ROOT/$BUILD_DIR/wineprefix-screenshot"
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
mkdir -p "$WINEPREFIX"

Xvfb "$SCREEN" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
export DISPLAY="$SCREEN"

quiet() { "$@" </dev/null >/dev/null 2>&1; }
quiet wineserver -k || true
quiet wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
quiet wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f
quiet wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /d 'Liberation Serif' /f
# The first run created the prefix with a desktop of the old settings: start
# over so that the virtual desktop is in force.
quiet wineserver -k || true
quiet wineserver -w || true

# A calibration file, so that the window starts ready with its limits shown.
mkdir -p "$WINEPREFIX/drive_c/velsor"
python3 - "$WINEPREFIX/drive_c/velsor/usb.ini" <<'PY'
import struct, sys
with open(sys.argv[1], 'wb') as f:
    f.write(struct.pack('<f8h', 2.0, 100, 200, 300, 400, 500, 600, 700, 800))
PY

mkdir -p "$OUT"
wine "$EXE" --simulate --rate 5 --seed 3 </dev/null >/dev/null 2>&1 &
sleep "${WAIT_START:-12}"
import -window root "$OUT/win32-message-box.png"
xdotool key Return
sleep "${WAIT_STEP:-4}"
import -window root "$OUT/win32-main-window.png"
xdotool key alt+F4 || true
sleep 2
echo "wrote $OUT/win32-message-box.png and $OUT/win32-main-window.png"
