# Start-up, field check, About box and the ways out of the program.

flow_startup_message() {
    q_start
    q_wait "Dispositivo Encontrado y Configurado!"
    q_wait "(i)"
    q_wait "[Aceptar]"
}

flow_no_calibration_warning() {
    q_start
    q_wait "Dispositivo Encontrado y Configurado!"
    q_keys Enter
    q_wait "Configuración"
    q_wait "No se encontro el archivo de configuracion"
    q_wait "(x)"
    q_keys Enter
    q_wait "[Salir]"
    q_expect_absent "No se encontro el archivo"
}

flow_refused_reference_weight() {
    q_start
    q_dismiss_startup
    q_keys BTab          # the reference weight, last in the tab order
    q_type 100           # replaces the selected 190
    q_keys M-s           # "&Salir"
    q_wait "Ingrese un número entre 150 y 600."
    q_keys Enter
    q_wait_gone "Ingrese un número"
    q_expect_running
    q_wait "[Salir]"
}

flow_about_box() {
    q_start
    q_dismiss_startup
    q_keys F10
    q_wait "Acerca de quelmar..."
    q_wait "Cerrar"
    q_keys a
    q_wait "Acerca de Quelmar"
    q_wait "Quelmar Versión 1.0"
    q_keys Enter
    q_wait_gone "Quelmar Versión 1.0"
    q_expect_running
}

flow_exit_button() {
    q_start
    q_dismiss_startup
    q_keys M-s
    q_expect_exit 0
}

flow_close_key() {
    q_start
    q_dismiss_startup
    q_keys C-q
    q_expect_exit 0
}

flow_no_scale() {
    q_start --no-scale
    q_wait "No hay dispositivos USB conectados!"
    q_wait "(x)"
    q_keys Enter
    q_expect_exit 0
}

flow_no_option_takes_the_real_scale_only() {
    Q_ROAD="" q_start # the e2e machine has no real scale
    q_wait "No hay dispositivos USB conectados!"
    q_expect_absent "Balanza simulada"
    q_keys Enter
    q_expect_exit 0
}

flow_demo_without_a_real_scale_says_so_in_the_window() {
    q_start --demo
    q_dismiss_startup
    q_wait "Balanza simulada (no hay balanza USB conectada): "
    q_expect_running
}

flow_close_keys_ask_first_during_work() {
    q_store_calibration
    q_start --rate 10 --seed 9
    q_dismiss_startup
    q_keys M-e
    q_wait_state "Trabajando"
    q_keys C-c
    q_wait "¿Desea salir? El conteo se detiene; todo lo contado está"
    q_keys Escape                    # no: the shift goes on
    q_wait_gone "¿Desea salir?"
    q_expect_running
    # An interrupt from outside takes the same way.
    kill -INT "$(q_program_pid)"
    q_wait "¿Desea salir?"
    q_keys Escape
    q_wait_gone "¿Desea salir?"
    q_keys C-q
    q_wait "¿Desea salir?"
    q_keys Enter                     # the default answer is no
    q_wait_gone "¿Desea salir?"
    q_expect_running
    q_keys M-s                       # "&Salir" asks the same
    q_wait "¿Desea salir?"
    q_keys Tab Enter
    q_expect_exit 0
}

flow_close_key_outside_work_closes_at_once() {
    q_store_calibration
    q_start
    q_dismiss_startup
    q_keys C-c
    q_expect_exit 0
}
