#!/usr/bin/env bash
# Whole-program figures of the POSIX program on the simulated scale, run in
# tmux like an operator would: start-up to the main window drawn, resident
# memory, and CPU per minute of work mode. Installs what it needs.
#
#   scripts/measure.sh                    (about 5 minutes) into build-bench/figures.txt
#   scripts/measure.sh --results          the same, into the committed results/figures.txt
#   scripts/measure.sh --benchmarks       the micro-benchmarks instead (tick, exchange, shift store)
#   scripts/measure.sh --wine             the work tick with its commit, timed in quelmar.exe's
#                                         own build under Wine (scripts/test-windows.sh builds it)
#   WORK_SECONDS=600 scripts/measure.sh   a longer work period
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale

work_seconds="${WORK_SECONDS:-180}"
idle_seconds="${IDLE_SECONDS:-60}"
runs="${STARTUP_RUNS:-7}"
results="" benchmarks=""
for arg in "$@"; do
    case "$arg" in
        --results) results=1 ;;
        --benchmarks) benchmarks=1 ;;
        --wine)
            windows="${BUILD_DIR:-$QUELMAR_ROOT/build-windows}"
            BUILD_DIR="$windows" "$QUELMAR_ROOT/scripts/test-windows.sh" --build-only >/dev/null
            export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
            status=0
            wine "$windows/bench/quelmar_tick_timing.exe" || status=$?
            wineserver -w
            exit "$status" ;;
        *) echo "uso: scripts/measure.sh [--results | --benchmarks | --wine]" >&2; exit 2 ;;
    esac
done
# The build configures with the tests and benchmarks on: it needs what the
# test command installs, whatever has run on this machine before.
ensure_packages "${NATIVE_PACKAGES[@]}" python3
build="${QUELMAR_MEASURE_BUILD:-$QUELMAR_ROOT/build-bench}"
cmake -S "$QUELMAR_ROOT" -B "$build" >/dev/null
if [ -n "$benchmarks" ]; then
    cmake --build "$build" --target quelmar_bench quelmar_shift_bench quelmar_tick_timing -j "$(build_jobs)" >/dev/null
    "$build/bench/quelmar_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
    "$build/bench/quelmar_shift_bench"
    exec "$build/bench/quelmar_tick_timing"
fi
# QUELMAR_MEASURE_ROAD=libusb: the same figures on the libusb road, the
# program against the simulated scale on a umockdev bus (tests/e2e).
target=quelmar program="$build/app/quelmar" output=figures.txt
described="POSIX terminal build, simulated scale, real clock"
if [ "${QUELMAR_MEASURE_ROAD:-}" = libusb ]; then
    ensure_packages umockdev libumockdev-dev libgtest-dev libgmock-dev googletest
    target=quelmar_umockdev program="$build/tests/e2e/quelmar_umockdev" output=figures-libusb.txt
    described="libusb road: libusb-1.0 against the simulated scale on a umockdev bus in the same process"
fi
cmake --build "$build" --target "$target" -j "$(build_jobs)" >/dev/null

drive="$(mktemp -d)"
trap 'tm kill-session -t quelmar-measure 2>/dev/null || true; rm -rf "$drive"' EXIT
mkdir -p "$drive/velsor"
# Calibration file: factor 2.0, limits 150 170 182 190 200 210 230 800.
python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('<f8h', 2.0, 150,170,182,190,200,210,230,800))" \
    > "$drive/velsor/usb.ini"
export QUELMAR_DRIVE_C="$drive"
session=quelmar-measure
# A server of our own: its sessions get this environment, and nothing else
# running tmux on the machine can disturb them.
tm() { tmux -L quelmar-measure -f /dev/null "$@"; }
ticks=$(getconf CLK_TCK)

now_ms() { date +%s%3N; }
screen() { tm capture-pane -p -t "$session" 2>/dev/null || true; }
# Starts a command in a fresh 100x40 session and prints the milliseconds
# until `text` is on the screen.
start_until() {
    local text="$1"; shift
    tm kill-session -t "$session" 2>/dev/null || true
    local start; start=$(now_ms)
    # The session gets the tmux server's environment, not ours: pass the drive.
    tm new-session -d -s "$session" -x 100 -y 40 "exec env QUELMAR_DRIVE_C=$drive $*"
    for _ in $(seq 1 2000); do
        if screen | grep -qF "$text"; then echo $(( $(now_ms) - start )); return 0; fi
        sleep 0.002
    done
    echo "timeout"; return 1
}
wait_for() {
    for _ in $(seq 1 500); do screen | grep -qF "$1" && return 0; sleep 0.02; done
    echo "not on screen: $1" >&2; screen >&2; return 1
}
pane_pid() { tm display -p -t "$session" '#{pane_pid}'; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "== Start-up ($runs runs each)"
floor=$(for _ in $(seq "$runs"); do start_until "QUELMAR-FLOOR" "sh -c 'echo QUELMAR-FLOOR; sleep 30'"; done | median)
startup=$(for _ in $(seq "$runs"); do start_until "Dispositivo Encontrado" "$program --simulate --rate 10"; done | median)
echo "start-up ${startup} ms (floor: tmux and polling ${floor} ms)"

echo "== Memory and CPU"
tm kill-session -t "$session" 2>/dev/null || true
start_until "Dispositivo Encontrado" "$program --simulate --rate 10" >/dev/null
pid=$(pane_pid)
rss_start=$(rss_kb "$pid")
baseline_rss=$(start_rss=$(tm new-session -d -s quelmar-cat -x 80 -y 24 "exec cat"; sleep 0.3;
    rss_kb "$(tm display -p -t quelmar-cat '#{pane_pid}')"); tm kill-session -t quelmar-cat; echo "$start_rss")
tm send-keys -t "$session" Enter
wait_for "Empezar Trabajo"
# Ready, nothing running: the program's own floor of CPU.
c0=$(cpu_ticks "$pid"); sleep 30; c1=$(cpu_ticks "$pid")
ready_cpu_ms=$(( (c1 - c0) * 1000 / ticks * 60 / 30 ))
tm send-keys -t "$session" Escape e
wait_for "Trabajando"
rss_work_start=$(rss_kb "$pid")
c0=$(cpu_ticks "$pid"); t0=$(now_ms)
samples="$rss_work_start"
elapsed=0
while [ "$elapsed" -lt "$work_seconds" ]; do
    sleep 30; elapsed=$((elapsed + 30)); samples="$samples $(rss_kb "$pid")"
done
c1=$(cpu_ticks "$pid"); t1=$(now_ms)
rss_end=$(rss_kb "$pid")
work_cpu_ms=$(( (c1 - c0) * 1000 / ticks * 60000 / (t1 - t0) ))
total_line=$(screen | grep -F "Totales" || true)
tm kill-session -t "$session"

# Work mode with no items: every tick waits out its 100 ms read. A new shift,
# so that no restored one is announced.
rm -f "$drive/velsor/estadisticas.db" "$drive/velsor/estadisticas.db-wal"
start_until "Dispositivo Encontrado" "$program --simulate --rate 0" >/dev/null
pid=$(pane_pid)
tm send-keys -t "$session" Enter
wait_for "Empezar Trabajo"
tm send-keys -t "$session" Escape e
wait_for "Trabajando"
c0=$(cpu_ticks "$pid"); t0=$(now_ms); sleep "$idle_seconds"; c1=$(cpu_ticks "$pid"); t1=$(now_ms)
idle_cpu_ms=$(( (c1 - c0) * 1000 / ticks * 60000 / (t1 - t0) ))
tm kill-session -t "$session"

# Into the build folder unless asked: results/ holds the committed figures.
destination="$build"
[ -n "$results" ] && destination="$QUELMAR_ROOT/results"
mkdir -p "$destination"
{
    echo "Quelmar whole-program figures ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
    echo "Program: $program ($described), in tmux 100x40"
    echo
    echo "start-up to the main window and its first message drawn: ${startup} ms (median of $runs; target <= 150 ms)"
    echo "  floor, same method (tmux starting a shell that prints a line): ${floor} ms"
    echo "resident memory after start-up: ${rss_start} kB (target <= 10 MB; baseline 'cat' in tmux: ${baseline_rss} kB)"
    echo "resident memory in work mode at 10 items/s, every 30 s over ${work_seconds} s: ${samples} kB"
    echo "  growth over the period: $(( rss_end - rss_work_start )) kB"
    echo "CPU per minute, work mode at 10 items/s: ${work_cpu_ms} ms (target <= 300 ms)"
    echo "CPU per minute, work mode with no items (every read times out): ${idle_cpu_ms} ms"
    echo "CPU per minute, Ready with no timer (baseline): ${ready_cpu_ms} ms"
    echo "screen at the end of the work period: ${total_line}"
    echo "CPU figures have the resolution of /proc's clock ticks (1/${ticks} s)."
} | tee "$destination/$output"
