# Mutations of the main window's logic: one `mutation` line each (see scripts/mutate.sh).

mutation ui-restart-button-runs-reset ui/quelmarDlg.cpp \
    'case IDC_RESTART: Restart(context_); break;' 'case IDC_RESTART: ConfirmReset(context_); break;' \
    main_dialog_tests
mutation ui-tick-inside-a-tick ui/quelmarDlg.cpp \
    'if (inTick_) return;' 'if (false) return;' main_dialog_tests
mutation ui-disabled-button-runs ui/quelmarDlg.cpp \
    'if (!window_.IsControlEnabled(id)) return;' 'if (false) return;' main_dialog_tests
mutation ui-own-writes-count-as-edits ui/quelmarDlg.cpp \
    'if (exchanging_) return;' 'if (false) return;' main_dialog_tests
mutation ui-read-kilograms-from-count-boxes ui/quelmarDlg.cpp \
    'window_.GetControlText(IDC_LINE_KILOGRAMS_1 + static_cast<int>(i));' \
    'window_.GetControlText(IDC_LINE_COUNT_1 + static_cast<int>(i));' main_dialog_tests
mutation ui-state-read-from-grams ui/quelmarDlg.cpp \
    'values_.stateText = window_.GetControlText(IDC_STATE);' \
    'values_.stateText = window_.GetControlText(IDC_GRAMS);' main_dialog_tests
mutation ui-total-count-shows-kilograms ui/quelmarDlg.cpp \
    'window_.SetControlText(IDC_TOTAL_COUNT, s.totalCountText);' \
    'window_.SetControlText(IDC_TOTAL_COUNT, s.totalKilogramsText);' main_dialog_tests
mutation ui-counts-box-shows-grams ui/quelmarDlg.cpp \
    'window_.SetControlText(IDC_COUNTS, values_.countsText);' \
    'window_.SetControlText(IDC_COUNTS, values_.gramsText);' main_dialog_tests
mutation ui-test-mode-without-its-timer ui/ModeTable.cpp \
    '{{false, false, false, false, true,  false}, TIMER_TEST},  // TestMode' \
    '{{false, false, false, false, true,  false}, NO_TIMER},    // TestMode' main_dialog_tests
mutation ui-calibrating-keeps-start-work ui/ModeTable.cpp \
    '{{false, false, true,  true,  false, false}, NO_TIMER},    // Calibrating' \
    '{{true,  false, true,  true,  false, false}, NO_TIMER},    // Calibrating' main_dialog_tests
mutation ui-modes-disable-before-enabling ui/ModeTable.cpp \
    'if (row.enabled[i]) window.EnableControl(MODE_BUTTONS[i], true);' \
    'window.EnableControl(MODE_BUTTONS[i], row.enabled[i]);' terminal_tests main_dialog_tests
mutation ui-close-asks-outside-work ui/quelmarDlg.cpp \
    'if (mode_ != Mode::WorkMode) return true;' 'if (mode_ == Mode::Ready) return true;' main_dialog_tests
mutation ui-salir-leaves-work-unasked ui/quelmarDlg.cpp \
    'if (!ConfirmLeave()) return;' 'if (false) return;' main_dialog_tests
mutation ui-leave-question-defaults-to-ok ui/terminal/Boxes.cpp \
    'if (buttons == platform::MessageButtons::OkCancelDefaultCancel) focused_ = 1;' \
    'if (buttons == platform::MessageButtons::OkCancelDefaultCancel) focused_ = 0;' terminal_tests
mutation ui-switched-off-button-hands-focus-to-a-field ui/ModeTable.cpp \
    'if (!enabledIn(window.FocusedControl()))' 'if (false)' terminal_tests
mutation ui-number-too-large-asks-for-a-whole-number ui/quelmarDlg.cpp \
    'Prompt(id, number.whole ?' 'Prompt(id, false ?' main_dialog_tests
