# Mutations of the main window's logic: one `mutation` line each (see scripts/mutate.sh).

mutation ui-restart-button-runs-reset ui/quelmarDlg.cpp \
    'case platform::IDC_RESTART: Restart(context_); break;' 'case platform::IDC_RESTART: ConfirmReset(context_); break;' \
    main_dialog_tests
mutation ui-tick-inside-a-tick ui/quelmarDlg.cpp \
    'if (inTick_) return;' 'if (false) return;' main_dialog_tests
mutation ui-disabled-button-runs ui/quelmarDlg.cpp \
    'if (!window_.IsControlEnabled(id)) return;' 'if (false) return;' main_dialog_tests
mutation ui-own-writes-count-as-edits ui/quelmarDlg.cpp \
    'if (exchanging_) return;' 'if (false) return;' main_dialog_tests
