# Calibration and test mode, work mode with its statistics and report, and
# the line limits, driven as an operator would on the simulated scale.

# Bytes of a file as space-separated hex.
q_hex() { od -An -tx1 -v "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

# A calibration file: factor 2.0 and all limits 0.
q_store_calibration() {
    mkdir -p "$Q_DRIVE/velsor"
    printf '\x00\x00\x00\x40\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
        >"$Q_DRIVE/velsor/usb.ini"
}

# Waits at most MS milliseconds (default 10 s) until the "Status" box shows
# TEXT (or, with "-", shows nothing but blanks). The simulated scale's own
# status line also says "Trabajando", so only the box's row is read.
q_wait_state() {
    local text=$1 deadline=$(($(q_now_ms) + ${2:-10000})) row
    while :; do
        row=$(q_screen | grep -F "[Reempezar]" | sed 's/.*\[Reempezar\]//' | awk -F'│' '{ print $2 }')
        if [ "$text" = "-" ]; then
            [ -z "$(echo "$row" | tr -d ' ')" ] && return 0
        else
            case "$row" in *"$text"*) return 0 ;; esac
        fi
        [ "$(q_now_ms)" -ge "$deadline" ] && q_fail "the Status box does not show \"$text\""
        sleep 0.1
    done
}

# The figure in a row of the statistics ("Linea 3", "Totales"): column 1 the
# count, column 2 the kilograms.
q_figure() {
    q_screen | grep -F -- "$1" | head -n 1 | awk -F'│' -v c=$(( 2 * $2 + 1 )) '{ gsub(/ /, "", $c); print $c }'
}

# Waits until line 8 holds every item counted and some are: the calibration
# file's limits, all 0, were sent at start-up, and every item weighs more.
q_wait_all_on_line_eight() {
    local deadline=$(($(date +%s) + 10)) total
    while :; do
        total=$(q_figure Totales 1)
        [ "${total:-0}" != 0 ] && [ "$total" = "$(q_figure 'Linea 8' 1)" ] && return 0
        [ "$(date +%s)" -ge "$deadline" ] && q_fail "line 8 and the total differ"
        sleep 0.1
    done
}

# Waits until at least N items are counted in total.
q_wait_total() {
    local deadline=$(($(date +%s) + 15)) total=0
    while [ "$total" -lt "$1" ]; do
        total=$(q_figure Totales 1)
        total=${total:-0}
        [ "$(date +%s)" -ge "$deadline" ] && q_fail "fewer than $1 items counted"
        sleep 0.2
    done
}

flow_calibration_then_test_mode() {
    mkdir -p "$Q_DRIVE/velsor"
    q_start --rate 0
    q_dismiss_startup
    q_keys M-c
    q_wait "Despeje la balanza,se tomara el cero"
    q_keys Enter
    q_wait "Ponga el peso patron sobre la balanza"
    q_keys F2                        # the reference weight goes on the platter
    q_wait "peso patrón puesto"
    q_keys Enter
    q_wait "Calibracion OK!"
    q_keys Enter
    q_wait_gone "Calibracion OK!"
    # 190 g over 95 counts: a factor of 2.0, then the eight limits as shown.
    local bytes
    bytes=$(q_hex "$Q_DRIVE/velsor/usb.ini")
    [ "$bytes" = "00 00 00 40 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00" ] ||
        q_fail "calibration file holds: $bytes"

    # Test mode: the zero is taken with the weight still on; taking it off
    # shows the weight as negative grams and the raw count of the empty scale.
    q_keys M-p
    q_wait "Prueba de Balanza"
    q_keys Enter
    q_wait_gone "Prueba de Balanza"
    q_keys F2
    q_wait "sin peso patrón"
    q_wait "-190"
    [ "$(q_screen | grep -c -- '-190')" -ge 1 ] || q_fail "no -190 g"
    q_keys F2
    q_wait "peso patrón puesto"
    q_wait_gone "-190"
    q_keys M-b                       # "Parar Prue&ba"
    q_wait_gone "107"
    q_expect_running
}

flow_work_mode_counts_resets_and_reports() {
    q_store_calibration
    q_start --rate 10 --seed 7
    q_dismiss_startup
    q_keys M-e                       # "&Empezar Trabajo"
    q_wait_state "Trabajando"
    q_wait_total 5                   # limits all 0: all on line 8
    q_keys M-d                       # "&Detener Trabajo"
    q_wait_state -                   # drawn with the last figures
    q_wait_all_on_line_eight
    local count kilograms
    count=$(q_figure Totales 1)
    kilograms=$(q_figure Totales 2)

    # The report carries the window's figures.
    q_keys M-u                       # "G&uardar Estadistica"
    q_wait "Archivos Estadísticas USB(*.est)"
    q_type turno
    q_keys Enter
    q_wait_gone "Archivos Estadísticas USB(*.est)"
    local report="$Q_DRIVE/velsor/turno.est"
    [ -f "$report" ] || q_fail "no report at $report"
    grep -qa "Totales:   $count Unidades    $kilograms Kilogramos" "$report" ||
        q_fail "report does not hold $count / $kilograms: $(cat -A "$report")"
    grep -qa "Linea 7:   $count Unidades" "$report" || q_fail "line 8 missing from the report"
    [ "$(tail -c 10 "$report")" = "Kilogramos" ] || q_fail "the report does not end with Kilogramos"

    # Reset after its confirmation.
    q_keys M-r
    q_wait "Se borraran los datos , quiere continuar?"
    q_keys Enter
    q_wait_gone "Se borraran los datos"
    [ "$(q_figure Totales 1)" = "0" ] || q_fail "the reset left figures"
    [ "$(q_figure Totales 2)" = "0" ] || q_fail "the reset left kilograms"
}

flow_limits_are_saved_sent_and_loaded() {
    q_store_calibration
    # Items pass only once the new limits are sent: one sorted before that
    # goes by the calibration file's (all 0: line 8), however slowly the flow runs.
    q_start --rate 10 --seed 11 --paused
    q_dismiss_startup
    # From "&Salir": "&Empezar Trabajo", "&Calibración", "&Prueba", then the
    # first limit field (the disabled buttons are skipped).
    q_keys Tab Tab Tab Tab
    local value
    for value in 100 150 200 250 300 350 400 800; do
        q_type "$value"
        q_keys Tab
    done
    q_keys M-g                       # "&Guardar"
    q_wait "Archivos Límites USB(*.lim)"
    q_type juego1
    q_keys Enter
    q_wait "Nuevos Limites guardados y enviados"
    q_keys Enter
    q_wait_gone "Nuevos Limites"
    local bytes
    bytes=$(q_hex "$Q_DRIVE/velsor/juego1.lim")
    [ "$bytes" = "64 00 96 00 c8 00 fa 00 2c 01 5e 01 90 01 20 03" ] || q_fail "limits file holds: $bytes"
    bytes=$(q_hex "$Q_DRIVE/velsor/usb.ini")
    [ "$bytes" = "00 00 00 40 64 00 96 00 c8 00 fa 00 2c 01 5e 01 90 01 20 03" ] ||
        q_fail "calibration file holds: $bytes"

    # The scale now sorts by 50, 75, 100, ... counts: items of 55 to 135
    # counts never reach line 1 and spread over the next lines.
    q_keys F3
    q_wait_gone "en pausa"
    q_keys M-e
    q_wait_state "Trabajando"
    q_wait_total 20
    q_keys M-d
    q_wait_state -
    [ "$(q_figure 'Linea 1' 1)" = "0" ] || q_fail "items on line 1 despite its limit"
    [ "$(q_figure 'Linea 3' 1)" != "0" ] || q_fail "nothing on line 3"

    # Loading another set shows it in the fields and sends it.
    printf '\x2c\x01\x2c\x01\x2c\x01\x2c\x01\x2c\x01\x2c\x01\x2c\x01\x2c\x01' >"$Q_DRIVE/velsor/todo300.lim"
    q_keys M-a                       # "C&argar"
    q_wait "todo300.lim"
    q_type todo300.lim
    q_keys Enter
    q_wait "Nuevos Limites guardados y enviados"
    q_keys Enter
    q_wait_gone "Nuevos Limites"
    [ "$(q_screen | grep -c '│    300 ')" -ge 1 ] || [ "$(q_screen | grep -c ' 300 ')" -ge 8 ] ||
        q_fail "the fields do not show the loaded limits"
    # Loading does not rewrite the calibration file.
    bytes=$(q_hex "$Q_DRIVE/velsor/usb.ini")
    [ "$bytes" = "00 00 00 40 64 00 96 00 c8 00 fa 00 2c 01 5e 01 90 01 20 03" ] ||
        q_fail "loading rewrote the calibration file: $bytes"
}

flow_first_start_calibrates_into_work_mode() {
    # No calibration file: the program starts unconfigured, and calibrating
    # is enough to start work.
    mkdir -p "$Q_DRIVE/velsor"
    q_start --rate 10 --seed 5
    q_dismiss_startup
    # "&Empezar Trabajo" is still disabled: "&Calibración", which work mode
    # disables, answers the next key.
    q_keys M-e M-c
    q_wait "Despeje la balanza,se tomara el cero"
    q_keys Enter
    q_wait "Ponga el peso patron sobre la balanza"
    q_keys F2
    q_wait "peso patrón puesto"
    q_keys Enter
    q_wait "Calibracion OK!"
    q_keys Enter
    q_wait_gone "Calibracion OK!"
    [ -f "$Q_DRIVE/velsor/usb.ini" ] || q_fail "no calibration file"
    q_keys F2                        # the reference weight comes off
    q_wait "sin peso patrón"
    q_keys M-e
    q_wait_state "Trabajando"
    q_wait_total 3
    q_keys M-d
    q_wait_state -
}

flow_paused_scale_still_answers_the_keys() {
    # A scale with nothing to report in work mode: every tick waits out its
    # time-out, and the keys must still be served between the ticks.
    q_store_calibration
    q_start --rate 10 --seed 3 --paused
    q_dismiss_startup
    q_wait "en pausa"
    q_keys M-e
    # Its last report, the working state: no item follows on a paused scale,
    # so from here on every read times out.
    q_wait_state "Trabajando"
    q_keys F10
    q_within 1000 "Acerca de quelmar..."
    q_keys Escape
    q_within_gone 1000 "Acerca de quelmar..."
    q_keys M-d                       # "&Detener Trabajo" clears the state
    q_wait_state - 1000
    q_keys M-e                       # work again, on a scale still paused
    q_keys C-q                       # asks only while work mode runs
    q_within 1000 "¿Desea salir?"
    q_keys Escape                    # no: the shift goes on
    q_within_gone 1000 "¿Desea salir?"
    q_keys M-s                       # "&Salir" asks too
    q_within 1000 "¿Desea salir?"
    local start
    start=$(q_now_ms)
    q_keys Tab Enter
    q_expect_exit 0 5
    [ $(($(q_now_ms) - start)) -le 1500 ] || q_fail "Salir took $(($(q_now_ms) - start)) ms"
}
