# The shift outlives the program: killed at random instants of a work
# period, it starts again with what it had counted.

# The count in the "Totales" row (the statistics' first column).
q_total() { q_screen | grep -F -- "Totales" | head -n 1 | awk -F'│' '{ gsub(/ /, "", $3); print $3 }'; }

# Each round: start (answering the start-up boxes, the restored shift's among
# them), work, freeze the program at a random instant so that the screen read
# is the one it had when killed, kill it. The next start must show every item
# that screen showed, and at most the one item stored but not yet drawn.
flow_killed_at_random_instants_restarts_with_every_item_shown() {
    q_store_calibration
    local round shown=0 restored pid
    for round in 1 2 3 4 5 6; do
        q_start --rate 10 --seed $((round * 7))
        q_wait "Dispositivo Encontrado y Configurado!"
        q_keys Enter
        if [ "$shown" -gt 0 ]; then
            q_wait "Se restauraron las estad"
            q_keys Enter
            q_wait_gone "Se restauraron las estad"
        fi
        q_wait "[Salir]"
        restored=$(q_total)
        [ "$restored" -ge "$shown" ] && [ "$restored" -le $((shown + 1)) ] ||
            q_fail "round $round: $restored items restored, $shown were on the screen at the kill"
        q_keys M-e
        q_wait "Trabajando"
        # A random instant: the program is frozen and killed there, whatever it does.
        sleep "$(printf '0.%03d' $((RANDOM % 1000)))"
        pid=$(q_program_pid)
        kill -STOP "$pid"
        shown=$(q_total)
        kill -KILL "$pid"
        q_expect_exit 137
        q_tmux kill-session -t "$Q_SESSION"
    done
    [ "$shown" -gt 0 ] || q_fail "nothing was counted in six work periods"
}
