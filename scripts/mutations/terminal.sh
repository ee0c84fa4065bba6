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
    '&controls_[focus_] == c) FocusNextButton();' '&controls_[focus_] == c) MoveFocus(true, true);' terminal_tests
mutation terminal-text-written-even-unchanged ui/terminal/TerminalFrontEnd.cpp \
    'if (!c || GetControlText(id) == text) return;' 'if (!c) return;' terminal_tests
mutation terminal-key-f10-not-the-menu ui/terminal/TerminalFrontEnd.cpp \
    'if (key.IsSpecial(KeyCodeF(10)) ||' 'if (key.IsSpecial(KeyCodeF(9)) ||' terminal_tests
mutation terminal-state-row-misplaced ui/terminal/MainWindowDrawing.cpp \
    't.Put(last - 2, 0, rows[0], ATTR_BOLD);' 't.Put(last - 3, 0, rows[0], ATTR_BOLD);' \
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
# terminal: the dialog's timers stopped and started, the local time, the system menu's command.
mutation terminal-stop-timer-ignored ui/terminal/TerminalFrontEnd.cpp \
    'void TerminalFrontEnd::StopTimer(int id) { pump_.StopTimer(id); }' 'void TerminalFrontEnd::StopTimer(int) {}' \
    terminal_tests:FrontEndTest.WorkAndTest*
mutation terminal-scheduler-stop-keeps-the-timer ui/terminal/TimerScheduler.cpp \
    'void TimerScheduler::Stop(int id) { timers_.erase(id); }' 'void TimerScheduler::Stop(int) {}' \
    terminal_tests:FrontEndTest.WorkAndTest*
mutation terminal-timer-period-halved ui/terminal/TerminalFrontEnd.cpp \
    'pump_.StartTimer(id, milliseconds);' 'pump_.StartTimer(id, milliseconds / 2);' terminal_tests:FrontEndTest.WorkAndTest*
mutation terminal-local-year-not-from-1900 ui/terminal/TerminalFrontEnd.cpp \
    'tm.tm_year + 1900' 'tm.tm_year' terminal_tests:LocalTimeTest.*
mutation terminal-local-month-from-0 ui/terminal/TerminalFrontEnd.cpp \
    'tm.tm_mon + 1' 'tm.tm_mon' terminal_tests:LocalTimeTest.*
mutation terminal-local-weekday-shifted ui/terminal/TerminalFrontEnd.cpp \
    'tm.tm_sec, tm.tm_wday}' 'tm.tm_sec, (tm.tm_wday + 1) % 7}' terminal_tests:LocalTimeTest.*
mutation terminal-sysmenu-about-sent-as-close ui/terminal/TerminalFrontEnd.cpp \
    'else events_->OnSysCommand(*chosen);' 'else events_->OnClose();' terminal_tests:FrontEndTest.KeysAndClicks*
mutation terminal-sysmenu-arrow-onto-the-rule ui/terminal/Boxes.cpp \
    'if (items_[i].commandId != 0) {' 'if (true) {' terminal_tests:FrontEndTest.KeysAndClicks*
mutation terminal-sysmenu-click-a-row-off ui/terminal/Boxes.cpp \
    'k.row == top_ + 1 + static_cast<int>(i)' 'k.row == top_ + static_cast<int>(i)' \
    terminal_tests:FrontEndTest.KeysAndClicks*
mutation terminal-about-box-not-run ui/terminal/TerminalFrontEnd.cpp \
    'about.Run();' 'static_cast<void>(about);' terminal_tests:FrontEndTest.WorkAndTest*
# terminal: where the focus goes and what a field shows selected when it gets it.
mutation terminal-focus-handoff-into-a-field ui/terminal/TerminalFrontEnd.cpp \
    'return Usable(i) && IsButton(*controls_[i].source); });' 'return Usable(i); });' \
    terminal_tests:FrontEndTest.AFieldReached*
mutation terminal-tab-into-field-selects-nothing ui/terminal/TerminalFrontEnd.cpp \
    'MoveFocus(key.IsTab(), true);' 'MoveFocus(key.IsTab(), false);' terminal_tests:FrontEndTest.AFieldReached*
mutation terminal-focus-control-selects-nothing ui/terminal/TerminalFrontEnd.cpp \
    'id != ID_STATIC) SetFocus(i, true);' 'id != ID_STATIC) SetFocus(i, false);' terminal_tests:FrontEndTest.*
# terminal: Alt read from the eighth bit of a letter (a stock xterm), the name still taking accents.
mutation terminal-key-eighth-bit-alt-ignored ui/terminal/Keys.h \
    'if (afterEscape || codePoint < 0xC0 ||' 'if (true || codePoint < 0xC0 ||' terminal_tests:KeyDecodingTest.*
mutation terminal-key-eighth-bit-non-letter-as-alt ui/terminal/Keys.h \
    "const bool letter = (" "const bool letter = true || (" terminal_tests:KeyDecodingTest.*
mutation terminal-file-name-accent-read-as-alt ui/terminal/FileDialog.cpp \
    'if (part_ == Part::Name && k.typed != 0 &&' 'if (false &&' terminal_tests:FrontEndTest.TheFileDialog*
# terminal: the file dialog's list focus, a missing folder, and the names Windows refuses.
mutation terminal-file-list-focus-hidden ui/terminal/FileDialog.cpp \
    'index == ListFocus()) attr = ATTR_REVERSE;' 'index == selected_) attr = ATTR_REVERSE;' \
    terminal_tests:FrontEndTest.TheFileDialog*
mutation terminal-file-list-enter-ignores-its-focus ui/terminal/FileDialog.cpp \
    'if (part_ == Part::List && !files_.empty()) name_.SetText(files_[ListFocus()]);' \
    'if (part_ == Part::List && selected_ != NONE) name_.SetText(files_[selected_]);' terminal_tests:FrontEndTest.TheFileDialog*
mutation terminal-file-missing-folder-listed-empty ui/terminal/FileDialogModel.cpp \
    'listing.state = missing ? FolderListing::State::Missing' 'listing.state = missing ? FolderListing::State::Listed' \
    terminal_tests:FrontEndTest.TheFileDialog*
mutation terminal-file-missing-folder-not-told ui/terminal/FileDialog.cpp \
    'if (folderState_ == FolderListing::State::Missing)' 'if (false)' terminal_tests:FrontEndTest.TheFileDialog*
mutation terminal-file-name-refusal-skipped ui/terminal/FileDialog.cpp \
    'RefusedPath(programPath); !refused.empty()) {' 'RefusedPath(programPath); false) {' \
    terminal_tests:FrontEndTest.TheFileDialog*
mutation terminal-file-name-cut-at-200 ui/terminal/FileDialog.cpp \
    'name_(EditBuffer::Accepts::AnyText, MAX_PATH_CHARACTERS)' 'name_(EditBuffer::Accepts::AnyText, 200)' \
    terminal_tests:FrontEndTest.TheFileDialog*
mutation terminal-file-name-colon-taken ui/terminal/FileDialogModel.cpp \
    'std::string_view("<>:\"|?*")' 'std::string_view("<>\"|?*")' terminal_tests:FileDialogModelTest.*
mutation terminal-file-name-control-character-taken ui/terminal/FileDialogModel.cpp \
    'static_cast<unsigned char>(c) < 0x20 ||' 'static_cast<unsigned char>(c) < 0x09 ||' terminal_tests:FileDialogModelTest.*
mutation terminal-file-name-device-with-extension-taken ui/terminal/FileDialogModel.cpp \
    "std::string base(name.substr(0, name.find('.')));" 'std::string base(name);' terminal_tests:FileDialogModelTest.*
mutation terminal-file-name-device-com0 ui/terminal/FileDialogModel.cpp \
    "base[3] >= '1'" "base[3] >= '0'" terminal_tests:FileDialogModelTest.*
mutation terminal-file-name-trailing-space-taken ui/terminal/FileDialogModel.cpp \
    "if (name.back() == '.' || name.back() == ' ')" "if (name.back() == '.')" terminal_tests:FileDialogModelTest.*
mutation terminal-file-path-260-taken ui/terminal/FileDialogModel.cpp \
    'if (units >= MAX_PATH_CHARACTERS)' 'if (units > MAX_PATH_CHARACTERS)' terminal_tests:FileDialogModelTest.*
mutation terminal-file-path-counted-in-code-points ui/terminal/FileDialogModel.cpp \
    'units += byte >= 0xF0 ? 2 : 1;' 'units += 1;' terminal_tests:FileDialogModelTest.*
mutation terminal-file-empty-name-gets-extension ui/terminal/FileDialogModel.cpp \
    'if (start == result.size() || result.find' 'if (result.find' terminal_tests:FileDialogModelTest.*
# terminal program: the scale it runs on (the window's fallback notice is checked end to end).
mutation terminal-app-no-option-falls-back app/quelmar.cpp \
    'return !haveUsbLink && simulateByDefault;' 'return !haveUsbLink || simulateByDefault;' terminal_tests:ScaleRoadTest.*
mutation terminal-app-demo-never-falls-back app/quelmar.cpp \
    'return !haveUsbLink || !realScaleAttached();' 'return !haveUsbLink || (!realScaleAttached() && false);' terminal_tests:ScaleRoadTest.*
mutation terminal-app-fallback-untold app/quelmar.cpp \
    '" (no hay balanza USB conectada)"' '""' terminal_tests:ScaleRoadTest.*
# terminal: counting redraws only the texts and the simulator's rows that changed.
mutation terminal-changed-text-not-blanked ui/terminal/MainWindowDrawing.cpp \
    '        FillRect(t, cell, ATTR_NORMAL);' '' terminal_tests
mutation terminal-changed-text-not-drawn ui/terminal/TerminalFrontEnd.cpp \
    '        c->textChanged = true;' '' terminal_tests
mutation terminal-panel-row-not-blanked-after-text ui/terminal/MainWindowDrawing.cpp \
    'width = DisplayWidth(now[i]);' 'width = t.Columns();' terminal_tests
mutation terminal-panel-upper-row-not-redrawn ui/terminal/MainWindowDrawing.cpp \
    'if (now[i] == drawn[i]) continue;' 'if (now[i] == drawn[i] || i == 0) continue;' terminal_tests
