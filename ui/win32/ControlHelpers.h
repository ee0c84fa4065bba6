// Small Win32 helpers of the main window and the simulator's tool window.
// Private to ui/win32 (and its tests): this header includes <windows.h>.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform/WindowServices.h"

namespace ui::win32 {

std::wstring WindowTextOf(HWND window);

// Writes a control's text only when it differs from what the control shows:
// every WM_SETTEXT repaints the control, and a box rewritten ten times a
// second with the same figure is seen blank for a moment each time.
void SetTextIfChanged(HWND control, const std::wstring& text);

// Enables or disables a control of a dialog. A control that loses the focus
// by being disabled hands it on to the next enabled button in the tab order,
// never to a field: the system would otherwise leave the window with no
// focus at all, and Tab and Space would do nothing.
void EnableDialogControl(HWND dialog, HWND control, bool enabled);

// The system's local time as the program counts it. SYSTEMTIME already
// numbers months from 1 and days of the week from Sunday = 0.
platform::LocalDateTime ToLocalDateTime(const SYSTEMTIME& time);

}  // namespace ui::win32
