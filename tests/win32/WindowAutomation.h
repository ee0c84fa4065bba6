// Driving real windows under Wine: a hook on activations, readers of live controls, steps run from the modal loop.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ProgramBoxes.h"
#include "ui/win32/TextConversion.h"

namespace win32_testing {

using platform::MessageButtons;
using platform::MessageIcon;
using testing_support::MessageRecord;
using ui::win32::Utf16ToUtf8;

// Watches the thread's windows while it exists: `onActivated` runs once for
// each top-level window when it is first activated.
class WindowWatcher {
public:
    explicit WindowWatcher(std::function<void(HWND)> onActivated) : onActivated_(std::move(onActivated)) {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~WindowWatcher() {
        ::UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    void SetHandler(std::function<void(HWND)> onActivated) { onActivated_ = std::move(onActivated); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        WindowWatcher* self = current_;
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (self != nullptr && code == HCBT_ACTIVATE && self->seen_.insert(window).second) self->onActivated_(window);
        if (self != nullptr && code == HCBT_DESTROYWND) self->seen_.erase(window);
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    HHOOK hook_ = nullptr;
    std::function<void(HWND)> onActivated_;
    std::set<HWND> seen_;
    static inline WindowWatcher* current_ = nullptr;
};

inline std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};  // longer than any text of the program's windows
    ::GetWindowTextW(window, text, 512);
    return text;
}

inline bool HasClass(HWND window, const wchar_t* name) {
    wchar_t actual[256] = {};
    ::GetClassNameW(window, actual, 256);
    return _wcsicmp(actual, name) == 0;
}

inline bool IsDialogClass(HWND window) { return HasClass(window, L"#32770"); }

inline bool IsIconStatic(HWND child) {
    return HasClass(child, L"Static") && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

// The children of a window in creation order.
inline std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A message box: an OK button and the text control 0xFFFF (the About box's first 0xFFFF is its icon).
inline bool IsMessageBox(HWND window) {
    const HWND text = ::GetDlgItem(window, 0xFFFF);
    return IsDialogClass(window) && ::GetDlgItem(window, IDOK) != nullptr && text != nullptr && !IsIconStatic(text);
}

// Text, caption, icon and buttons of a live box, as the program's tests write boxes.
inline MessageRecord ReadMessageBox(HWND box) {
    MessageRecord view{Utf16ToUtf8(WindowText(::GetDlgItem(box, 0xFFFF))), Utf16ToUtf8(WindowText(box)),
                       MessageIcon::None, ::GetDlgItem(box, IDCANCEL) ? MessageButtons::OkCancel : MessageButtons::Ok};
    const std::map<HICON, MessageIcon> icons = {
        {nullptr, MessageIcon::None},  // a box without an icon may keep its icon control visible
        {::LoadIconA(nullptr, IDI_HAND), MessageIcon::Stop},
        {::LoadIconA(nullptr, IDI_EXCLAMATION), MessageIcon::Exclamation},
        {::LoadIconA(nullptr, IDI_ASTERISK), MessageIcon::Information},
    };
    for (HWND child : Children(box)) {
        // The box is not shown yet when it is activated: look at the style.
        if (!IsIconStatic(child) || !(::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) continue;
        const auto known = icons.find(reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)));
        EXPECT_NE(known, icons.end()) << "an icon the program does not use";
        if (known != icons.end()) view.icon = known->second;
    }
    return view;
}

// Answers a box as a click on one of its buttons would (IDOK, IDCANCEL...).
inline void Answer(HWND box, int buttonId) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, buttonId)));
}

// Clicks a button as the operator would: only when it is enabled.
inline bool ClickIfEnabled(HWND button) {
    return button != nullptr && ::IsWindowEnabled(button) && ::PostMessageW(button, BM_CLICK, 0, 0);
}

// Steps run once the messages posted so far are handled: one-shot thread timers come after everything else.
inline std::map<UINT_PTR, std::function<void()>> pendingSteps;

inline void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    auto step = pendingSteps.extract(id);  // out of the map first: the step may add steps
    if (!step.empty()) step.mapped()();
}

inline void Later(std::function<void()> step) {
    pendingSteps[::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, RunStep)] = std::move(step);
}

// Drops the steps not run yet, so that none runs in the next test's window.
inline void CancelPendingSteps() {
    for (const auto& [id, step] : pendingSteps) ::KillTimer(nullptr, id);
    pendingSteps.clear();
}

}  // namespace win32_testing
