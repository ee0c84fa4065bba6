# Mutations of the terminal front-end: one `mutation` line each (see scripts/mutate.sh).

# terminal: the event pump and its timers.
mutation terminal-pump-ticks-before-keys ui/terminal/EventPump.cpp \
    'const std::int64_t now = clock_();' 'DeliverDue(); const std::int64_t now = clock_();' terminal_tests
mutation terminal-pump-no-postpone-after-tick ui/terminal/EventPump.cpp \
    'timers_.Postpone(*due, clock_());' '' terminal_tests
mutation terminal-scheduler-late-ticks-pile-up ui/terminal/TimerScheduler.cpp \
    'earliest->deadline = now + earliest->period;' 'earliest->deadline += earliest->period;' terminal_tests
# terminal: the main window's focus, texts and keys.
mutation terminal-focus-onto-disabled-control ui/terminal/TerminalFrontEnd.cpp \
    'return c.enabled && (c.source->styles & STYLE_TABSTOP) != 0;' \
    'return (c.source->styles & STYLE_TABSTOP) != 0;' terminal_tests
mutation terminal-focus-handoff-selects-text ui/terminal/TerminalFrontEnd.cpp \
    '&controls_[focus_] == c) MoveFocus(true, false);' '&controls_[focus_] == c) MoveFocus(true, true);' terminal_tests
mutation terminal-text-written-even-unchanged ui/terminal/TerminalFrontEnd.cpp \
    'if (!c || GetControlText(id) == text) return;' 'if (!c) return;' terminal_tests
mutation terminal-key-f10-not-the-menu ui/terminal/TerminalFrontEnd.cpp \
    'if (key.IsSpecial(KeyCodeF(10)) ||' 'if (key.IsSpecial(KeyCodeF(9)) ||' terminal_tests
mutation terminal-state-row-misplaced ui/terminal/MainWindowDrawing.cpp \
    't.Put(last - 2, 0, line.substr(0, split), ATTR_BOLD);' 't.Put(last - 3, 0, line.substr(0, split), ATTR_BOLD);' \
    terminal_tests
# terminal: the layout of the main window.
mutation terminal-layout-rows-unevenly-spaced ui/terminal/TerminalLayout.cpp \
    'if (pitch > 0)' 'if (pitch < 0)' terminal_tests
mutation terminal-layout-group-boxes-apart ui/terminal/TerminalLayout.cpp \
    'IsGroup(controls[a]) && IsGroup(controls[b]) ? 0 : 1;' 'IsGroup(controls[a]) && IsGroup(controls[b]) ? 1 : 1;' \
    terminal_tests
# terminal: the edit field.
mutation terminal-edit-left-keeps-selection-end ui/terminal/EditBuffer.cpp \
    'cursor_ = wasSelected ? 0 : (cursor_ > 0 ? cursor_ - 1 : 0);' 'cursor_ = cursor_ > 0 ? cursor_ - 1 : 0;' \
    terminal_tests
mutation terminal-edit-one-past-the-limit ui/terminal/EditBuffer.cpp \
    'if (Length() >= maxLength_)' 'if (Length() > maxLength_)' terminal_tests
# terminal: the locale the program runs under.
mutation terminal-locale-no-fallback-for-missing-utf8 app/TerminalLocale.cpp \
    'if ((asked == nullptr || NamesUtf8(asked))' 'if ((asked == nullptr || !NamesUtf8(asked))' terminal_locale_tests
# terminal: the boxes.
mutation terminal-box-escape-cancels-a-lone-ok ui/terminal/Boxes.cpp \
    'const bool cancelAllowed = labels_.size() > 1;' 'const bool cancelAllowed = true;' terminal_tests
mutation terminal-file-saved-over-unasked ui/terminal/FileDialog.cpp \
    'if (settings_.kind == platform::FileDialogKind::Save &&' 'if (false &&' terminal_tests
