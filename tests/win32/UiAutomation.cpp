#include "UiAutomation.h"

#include <gtest/gtest.h>

#include <map>

#include "ui/win32/TextConversion.h"

namespace win32_test {

WindowWatcher* WindowWatcher::current_ = nullptr;

WindowWatcher::WindowWatcher(std::function<void(HWND)> onActivated) : onActivated_(std::move(onActivated)) {
    current_ = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
}

WindowWatcher::~WindowWatcher() {
    if (hook_) ::UnhookWindowsHookEx(hook_);
    current_ = nullptr;
}

LRESULT CALLBACK WindowWatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
    WindowWatcher* self = current_;
    if (self != nullptr && code >= 0) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (code == HCBT_ACTIVATE && self->seen_.insert(window).second && self->onActivated_) {
            self->onActivated_(window);
        } else if (code == HCBT_DESTROYWND) {
            self->seen_.erase(window);
        }
    }
    return ::CallNextHookEx(self ? self->hook_ : nullptr, code, wParam, lParam);
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

bool IsDialogClass(HWND window) { return ClassName(window) == L"#32770"; }

namespace {

bool IsIconStatic(HWND child) {
    return _wcsicmp(ClassName(child).c_str(), L"Static") == 0 &&
           (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

}  // namespace

bool IsMessageBox(HWND window) {
    if (!IsDialogClass(window)) return false;
    const HWND text = ::GetDlgItem(window, 0xFFFF);
    if (text == nullptr || IsIconStatic(text)) return false;
    int statics = 0;
    for (HWND child : Children(window))
        if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0 && !IsIconStatic(child)) ++statics;
    return statics == 1 && ::GetDlgItem(window, IDOK) != nullptr;
}

MessageRecord ReadMessageBox(HWND box) {
    using platform::MessageIcon;
    MessageRecord view{ui::win32::Utf16ToUtf8(WindowText(::GetDlgItem(box, 0xFFFF))),
                       ui::win32::Utf16ToUtf8(WindowText(box)), MessageIcon::None,
                       ::GetDlgItem(box, IDCANCEL) ? platform::MessageButtons::OkCancel : platform::MessageButtons::Ok};
    const std::map<HICON, MessageIcon> icons = {
        {::LoadIconA(nullptr, IDI_HAND), MessageIcon::Stop},
        {::LoadIconA(nullptr, IDI_EXCLAMATION), MessageIcon::Exclamation},
        {::LoadIconA(nullptr, IDI_ASTERISK), MessageIcon::Information},
    };
    for (HWND child : Children(box)) {
        // The box is not shown yet when it is activated: look at the style.
        if (!IsIconStatic(child) || !(::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) continue;
        const auto icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        if (icon == nullptr) continue;
        const auto known = icons.find(icon);
        EXPECT_NE(known, icons.end()) << "an icon the program does not use";
        if (known != icons.end()) view.icon = known->second;
    }
    return view;
}

void Answer(HWND box, int buttonId) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, buttonId)));
}

bool ClickIfEnabled(HWND button) {
    if (button == nullptr || !::IsWindowEnabled(button)) return false;
    ::PostMessageW(button, BM_CLICK, 0, 0);
    return true;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

RECT ChildRect(HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

namespace {

std::map<UINT_PTR, std::function<void()>>& PendingSteps() {
    static std::map<UINT_PTR, std::function<void()>> steps;
    return steps;
}

void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    auto& steps = PendingSteps();
    const auto found = steps.find(id);
    if (found == steps.end()) return;
    std::function<void()> step = std::move(found->second);
    steps.erase(found);
    step();
}

}  // namespace

void CancelPendingSteps() {
    for (const auto& [id, step] : PendingSteps()) ::KillTimer(nullptr, id);
    PendingSteps().clear();
}

void Later(std::function<void()> step) {
    const UINT_PTR id = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, RunStep);
    PendingSteps()[id] = std::move(step);
}

}  // namespace win32_test
