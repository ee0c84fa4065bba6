#include "ui/win32/ControlHelpers.h"

namespace ui::win32 {

std::wstring WindowTextOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void SetTextIfChanged(HWND control, const std::wstring& text) {
    if (WindowTextOf(control) != text) ::SetWindowTextW(control, text.c_str());
}

void EnableDialogControl(HWND dialog, HWND control, bool enabled) {
    const bool hadFocus = !enabled && ::GetFocus() == control;
    ::EnableWindow(control, enabled ? TRUE : FALSE);
    if (!hadFocus) return;
    // The next enabled button in the tab order, past any field: a digit typed
    // next must not land in a limit. The walk starts at the disabled control,
    // which is no longer in the cycle, so it ends where it started.
    const HWND first = ::GetNextDlgTabItem(dialog, control, FALSE);
    for (HWND next = first; next != nullptr && next != control;) {
        if (::SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) {
            // WM_NEXTDLGCTL keeps the dialog manager's focus and default
            // button right.
            ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
            return;
        }
        next = ::GetNextDlgTabItem(dialog, next, FALSE);
        if (next == first) return;
    }
}

platform::LocalDateTime ToLocalDateTime(const SYSTEMTIME& time) {
    return {.year = time.wYear,
            .month = time.wMonth,
            .day = time.wDay,
            .hour = time.wHour,
            .minute = time.wMinute,
            .second = time.wSecond,
            .dayOfWeek = time.wDayOfWeek};
}

}  // namespace ui::win32
