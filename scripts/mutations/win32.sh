# Mutations of the Windows front-end: one `mutation_windows` line each (see scripts/mutate.sh), run under Wine.

mutation_windows win32-stopped-timer-kept ui/win32/Win32FrontEnd.cpp \
    '::KillTimer(Hwnd(window_), static_cast<UINT_PTR>(id));' 'static_cast<void>(id);' \
    Win32WindowTest:Win32ProgramTest.AFirstStart*
mutation_windows win32-timer-on-the-thread ui/win32/Win32FrontEnd.cpp \
    '::SetTimer(Hwnd(window_),' '::SetTimer(nullptr,' Win32WindowTest:Win32ProgramTest.AFirstStart*
mutation_windows win32-timer-period-in-seconds ui/win32/Win32FrontEnd.cpp \
    'milliseconds, nullptr);' 'milliseconds * 1000, nullptr);' Win32WindowTest:Win32ProgramTest.AFirstStart*
mutation_windows win32-local-month-from-zero ui/win32/ControlHelpers.cpp \
    '.month = time.wMonth,' '.month = time.wMonth - 1,' Win32WindowTest:Win32LocalTimeTest.*
mutation_windows win32-local-week-from-monday ui/win32/ControlHelpers.cpp \
    '.dayOfWeek = time.wDayOfWeek}' '.dayOfWeek = (time.wDayOfWeek + 6) % 7}' Win32WindowTest:Win32LocalTimeTest.*
mutation_windows win32-sysmenu-mask-all-bits ui/win32/Win32FrontEnd.cpp \
    'wParam & 0xFFF0' 'wParam & 0xFFFF' Win32WindowTest:Win32FrontEndTest.TheWindows*
mutation_windows win32-sysmenu-mask-dropped ui/win32/Win32FrontEnd.cpp \
    'static_cast<int>(wParam & 0xFFF0)' 'static_cast<int>(wParam)' Win32WindowTest:Win32FrontEndTest.TheWindows*
mutation_windows win32-sysmenu-mask-low-byte ui/win32/Win32FrontEnd.cpp \
    'wParam & 0xFFF0' 'wParam & 0x00F0' Win32WindowTest:Win32ProgramTest.AFirstStart*
mutation_windows win32-sysmenu-default-dropped ui/win32/Win32FrontEnd.cpp \
    '->OnSysCommand(static_cast<int>(wParam & 0xFFF0)) ? TRUE : FALSE;' \
    '->OnSysCommand(static_cast<int>(wParam & 0xFFF0)) ? TRUE : TRUE;' Win32WindowTest:Win32FrontEndTest.Events*
mutation_windows win32-disabled-focus-into-field ui/win32/ControlHelpers.cpp \
    '& DLGC_BUTTON)' '& (DLGC_BUTTON | DLGC_HASSETSEL))' Win32WindowTest:Win32FrontEndTest.Events*
mutation_windows win32-focused-control-unknown ui/win32/Win32FrontEnd.cpp \
    '? ::GetDlgCtrlID(focus) : 0;' '? 0 : 0;' Win32WindowTest:Win32ProgramTest.AFirstStart*
mutation_windows win32-tool-click-activates ui/win32/SimulatorWindow.cpp \
    'DWLP_MSGRESULT, MA_NOACTIVATE);' 'DWLP_MSGRESULT, MA_ACTIVATE);' Win32WindowTest:Win32FrontEndTest.Events*
mutation_windows win32-tool-button-takes-focus ui/win32/SimulatorWindow.cpp \
    '::SetCapture(button);' '::SetCapture(button), ::SetFocus(button);' Win32WindowTest:Win32FrontEndTest.Events*
mutation_windows win32-tool-caption-activates ui/win32/SimulatorWindow.cpp \
    'if (wParam != HTCAPTION) return FALSE;' 'if (wParam != HTNOWHERE) return FALSE;' \
    Win32WindowTest:Win32FrontEndTest.Events*
mutation_windows win32-tool-drag-jumps ui/win32/SimulatorWindow.cpp \
    '{GET_X_LPARAM(lParam) - frame.left, GET_Y_LPARAM(lParam) - frame.top};' '{0, 0};' \
    Win32WindowTest:Win32FrontEndTest.Events*
