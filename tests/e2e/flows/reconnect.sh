# The scale pulled out in the middle of work mode and plugged in again: the
# window says so, finds it again by itself and goes on counting.

flow_unplugged_scale_comes_back_and_counting_goes_on() {
    q_store_calibration
    q_start --rate 10 --seed 3
    q_dismiss_startup
    q_keys M-e                       # "&Empezar Trabajo"
    q_wait_state "Trabajando"
    q_wait_total 3
    q_keys F4                        # out
    q_wait_state "Balanza desconectada" 3000
    q_wait "F4 conectar"
    q_keys F10                       # the window answers while the scale is sought
    q_within 1000 "Acerca de quelmar..."
    q_keys Escape
    q_within_gone 1000 "Acerca de quelmar..."
    local before
    before=$(q_figure Totales 1)
    q_keys F4                        # in again: a fresh controller, its cycle from the start
    q_wait "F4 desconectar"
    q_wait_state "Trabajando" 10000
    q_wait_total $((before + 3))
    q_expect_absent "Balanza desconectada"
}
