# End-to-end harness: runs the terminal program in a tmux session of its own
# (its own tmux server, Q_SIZE cells, UTF-8), drives it with keys and
# reads the screen. Sourced by run.sh; every function fails the test with the
# screen shown when something does not appear in time.
#
#   q_start [program options]   start the program on a fresh drive C:, on the
#                               simulated scale: $Q_ROAD (default --simulate)
#                               goes first, a road option given wins over it
#   q_keys KEY...               tmux key names: Enter Escape Tab BTab F10 M-s C-q
#   q_type TEXT                 type literal text
#   q_wait TEXT [SECONDS]       wait until TEXT is on the screen (default 10 s)
#   q_wait_gone TEXT [SECONDS]  wait until TEXT has left the screen
#   q_within MS TEXT            wait at most MS milliseconds for TEXT
#   q_within_gone MS TEXT       wait at most MS milliseconds for TEXT to go
#   q_expect_absent TEXT        fail if TEXT is on the screen now
#   q_expect_exit [CODE]        wait until the program ended (with CODE)
#   q_expect_running            fail if the program has ended
#   q_screen                    print the screen
#   q_program_pid               the process id of the program
#   q_dismiss_startup           answer the start-up messages until the main
#                               window shows
#   Q_DRIVE                     the folder that stands for C: (only an empty velsor at start)
#   Q_SIZE                      the window, COLUMNSxROWS (default 100x35; the
#                               program's smallest is 80x24)
#
# Escape followed at once by a letter is Alt+letter for the program, so send
# Escape on its own and wait for its effect before the next key.

set -u

Q_PROGRAM=${Q_PROGRAM:?the program to run}
Q_TMP=$(mktemp -d "${TMPDIR:-/tmp}/quelmar-e2e.XXXXXX")
Q_DRIVE="$Q_TMP/drive_c"
Q_SOCKET="$Q_TMP/tmux.socket"
Q_SESSION="quelmar"
Q_EXIT_MARK="__QUELMAR_EXIT__="
Q_SIZE=${Q_SIZE:-100x35}
# The program keeps its shift in C:\velsor, which it never creates.
mkdir -p "$Q_DRIVE/velsor"

q_tmux() { tmux -S "$Q_SOCKET" -f /dev/null "$@"; }

q_cleanup() {
    q_tmux kill-server >/dev/null 2>&1
    rm -rf "$Q_TMP"
}
trap q_cleanup EXIT
trap 'exit 130' INT TERM

q_fail() {
    echo "FAILED: $*" >&2
    echo "---- screen ----" >&2
    q_screen >&2 || true
    echo "----------------" >&2
    exit 1
}

q_screen() { q_tmux capture-pane -p -t "$Q_SESSION" 2>/dev/null; }

q_start() {
    local quoted="" arg road=${Q_ROAD---simulate}
    for arg in "$Q_PROGRAM" ${road:+"$road"} "$@"; do quoted+=" $(printf '%q' "$arg")"; done
    # TMPDIR: what the program leaves there when it is killed (a umockdev
    # bus's folder) goes with the harness's own folder.
    # The exit mark and the pause keep the pane (and the exit code) readable
    # after the program ended. A killed program leaves the terminal raw (no
    # carriage return on a new line), so the mark starts its own line itself
    # and ends with ";" so that a half-drawn mark is never read as the code.
    q_tmux new-session -d -s "$Q_SESSION" -x "${Q_SIZE%x*}" -y "${Q_SIZE#*x}" \
        "env LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM=screen-256color TMPDIR=$(printf '%q' "$Q_TMP") QUELMAR_DRIVE_C=$(printf '%q' "$Q_DRIVE") $quoted; code=\$?; stty sane 2>/dev/null; printf '\\r\\n%s%s;\\r\\n' $Q_EXIT_MARK \$code; sleep 600" ||
        q_fail "tmux could not start the program"
}

q_program_pid() {
    local pane
    pane=$(q_tmux display-message -p -t "$Q_SESSION" '#{pane_pid}')
    ps -o pid=,comm= --ppid "$pane" | awk '$2 == "quelmar" { print $1 }'
}

q_keys() { q_tmux send-keys -t "$Q_SESSION" "$@"; }
q_type() { q_tmux send-keys -t "$Q_SESSION" -l "$1"; }

q_wait() {
    local text=$1 limit=${2:-10} deadline
    deadline=$(($(date +%s) + limit))
    while :; do
        q_screen | grep -qF -- "$text" && return 0
        [ "$(date +%s)" -ge "$deadline" ] && q_fail "\"$text\" did not appear within ${limit} s"
        sleep 0.1
    done
}

q_wait_gone() {
    local text=$1 limit=${2:-10} deadline
    deadline=$(($(date +%s) + limit))
    while :; do
        q_screen | grep -qF -- "$text" || return 0
        [ "$(date +%s)" -ge "$deadline" ] && q_fail "\"$text\" did not go away within ${limit} s"
        sleep 0.1
    done
}

q_now_ms() { date +%s%3N; }

# Waits at most MS milliseconds until TEXT is (or, with "gone", is no longer)
# on the screen; fails with the time it took otherwise.
q_within_() {
    local limit=$1 text=$2 want=$3 start now
    start=$(q_now_ms)
    while :; do
        if q_screen | grep -qF -- "$text"; then [ "$want" = shown ] && return 0
        else [ "$want" = gone ] && return 0; fi
        now=$(q_now_ms)
        [ $((now - start)) -ge "$limit" ] && q_fail "\"$text\" not $want within $limit ms"
        sleep 0.05
    done
}
q_within() { q_within_ "$1" "$2" shown; }
q_within_gone() { q_within_ "$1" "$2" gone; }

q_expect_absent() {
    q_screen | grep -qF -- "$1" && q_fail "\"$1\" is on the screen"
    return 0
}

q_expect_exit() {
    local code="" deadline
    deadline=$(($(date +%s) + ${2:-10}))
    while :; do
        code=$(q_screen | sed -n "s/.*$Q_EXIT_MARK\\([0-9][0-9]*\\);.*/\\1/p" | tail -n 1)
        [ -n "$code" ] && break
        [ "$(date +%s)" -ge "$deadline" ] && q_fail "the program did not end within ${2:-10} s"
        sleep 0.1
    done
    if [ -n "${1:-}" ] && [ "$code" != "$1" ]; then q_fail "the program ended with $code, not $1"; fi
    return 0
}

q_expect_running() {
    q_screen | grep -qF -- "$Q_EXIT_MARK" && q_fail "the program has ended"
    return 0
}

q_dismiss_startup() {
    q_wait "Dispositivo Encontrado y Configurado!"
    q_keys Enter
    local deadline=$(($(date +%s) + 10))
    while :; do
        local screen
        screen=$(q_screen)
        case "$screen" in
            *"[Salir]"*) return 0 ;;
            *"Configuración ─"*) q_keys Enter; q_wait_gone "Configuración ─" ;;
        esac
        [ "$(date +%s)" -ge "$deadline" ] && q_fail "the main window did not show"
        sleep 0.1
    done
}
