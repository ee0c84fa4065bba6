#include "ui/win32/SimulatorWindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <vector>

#include "ui/DialogLayout.h"
#include "ui/win32/DialogTemplateBuilder.h"
#include "ui/win32/TextConversion.h"

namespace ui::win32 {
namespace {

// The state line moves with the items the scale produces: it is looked at
// four times a second, and written only when it changed.
constexpr UINT_PTR REFRESH_TIMER = 1;
constexpr UINT REFRESH_MILLISECONDS = 250;

constexpr unsigned BUTTON = STYLE_TABSTOP;

// The state line, then a button per action, one under the other.
constexpr std::array<ControlTemplate, 1 + SIMULATOR_CONTROLS.size()> ToolControls() {
    std::array<ControlTemplate, 1 + SIMULATOR_CONTROLS.size()> controls{};
    controls[0] = {IDC_SIMULATOR_STATE, ControlKind::Static, "", {7, 7, 100, 40}, STYLE_NO_PREFIX | STYLE_CLIENT_EDGE};
    for (std::size_t i = 0; i < SIMULATOR_CONTROLS.size(); ++i)
        controls[i + 1] = {IDC_SIMULATOR_FIRST_ACTION + static_cast<int>(i),
                           ControlKind::PushButton,
                           SIMULATOR_CONTROLS[i].buttonText,
                           {7, 52 + 18 * static_cast<int>(i), 100, 14},
                           BUTTON};
    return controls;
}
constexpr auto TOOL_CONTROLS = ToolControls();

const DialogTemplate SIMULATOR_DIALOG{0, "Balanza simulada", 114, 109, "MS Sans Serif", 8, false, false, TOOL_CONTROLS};

// A tool window with a caption and no close box: it lives as long as the
// main window. Hidden until it has been placed. It is never activated: the
// operator works in the main window, and a click here must not take the
// keyboard from the field being typed in.
constexpr WindowStyles SIMULATOR_STYLES{DS_SETFONT | DS_3DLOOK | DS_MODALFRAME | WS_POPUP | WS_CAPTION,
                                        WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE};

// A button's own mouse handling gives it the focus, which would activate the
// tool window after all. Its buttons are pressed and released here instead,
// with the mouse captured as a button does, and click without the focus
// (BM_CLICK comes this way too).
LRESULT CALLBACK ClickWithoutFocus(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            ::SetCapture(button);
            ::SendMessageW(button, BM_SETSTATE, TRUE, 0);
            return 0;
        case WM_LBUTTONUP: {
            if (::GetCapture() != button) return 0;
            const bool pressed = (::SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
            ::ReleaseCapture();
            if (pressed)
                ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                               reinterpret_cast<LPARAM>(button));
            return 0;
        }
        case WM_CAPTURECHANGED: ::SendMessageW(button, BM_SETSTATE, FALSE, 0); break;
        default: break;
    }
    // Moves while captured press and release the button, as for any button.
    return ::DefSubclassProc(button, message, wParam, lParam);
}

}  // namespace

SimulatorWindow::SimulatorWindow(SimulatorPanel& panel, HWND owner) : panel_(panel) {
    const std::vector<std::uint16_t> bytes = BuildDialogTemplate(SIMULATOR_DIALOG, SIMULATOR_STYLES);
    window_ = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                           owner, Procedure, reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) return;
    for (std::size_t i = 0; i < SIMULATOR_CONTROLS.size(); ++i)
        ::SetWindowSubclass(::GetDlgItem(window_, IDC_SIMULATOR_FIRST_ACTION + static_cast<int>(i)), ClickWithoutFocus,
                            0, 0);
    Refresh();
    PlaceBeside(owner);
    ::SetTimer(window_, REFRESH_TIMER, REFRESH_MILLISECONDS, nullptr);
    ::ShowWindow(window_, SW_SHOWNOACTIVATE);
}

SimulatorWindow::~SimulatorWindow() {
    if (window_ != nullptr && ::IsWindow(window_)) ::DestroyWindow(window_);
}

INT_PTR CALLBACK SimulatorWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE;  // no focus: the main window keeps it
    }
    auto* self = reinterpret_cast<SimulatorWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) self->OnButton(LOWORD(wParam));
            return TRUE;  // Enter and Escape (IDOK, IDCANCEL) do not close it
        case WM_TIMER:
            if (wParam == REFRESH_TIMER) self->Refresh();
            return TRUE;
        case WM_MOUSEACTIVATE:  // for a click anywhere on it, its buttons' included
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, MA_NOACTIVATE);
            return TRUE;
        case WM_NCLBUTTONDOWN: {
            // The system's own handling of the caption and its move loop
            // activate the window, whatever the styles say (Wine does): the
            // caption drags it here, with the mouse captured.
            if (wParam != HTCAPTION) return FALSE;
            RECT frame;
            ::GetWindowRect(window, &frame);
            self->grab_ = {GET_X_LPARAM(lParam) - frame.left, GET_Y_LPARAM(lParam) - frame.top};
            ::SetCapture(window);
            return TRUE;
        }
        case WM_MOUSEMOVE:
            if (::GetCapture() == window) {
                POINT cursor;
                ::GetCursorPos(&cursor);
                ::SetWindowPos(window, nullptr, cursor.x - self->grab_.x, cursor.y - self->grab_.y, 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            return TRUE;
        case WM_LBUTTONUP:
            if (::GetCapture() == window) ::ReleaseCapture();
            return TRUE;
        case WM_CLOSE: return TRUE;
        case WM_NCDESTROY: self->window_ = nullptr; return FALSE;
        default: return FALSE;
    }
}

void SimulatorWindow::OnButton(int id) {
    const std::size_t index = static_cast<std::size_t>(id - IDC_SIMULATOR_FIRST_ACTION);
    if (id < IDC_SIMULATOR_FIRST_ACTION || index >= SIMULATOR_CONTROLS.size()) return;
    panel_.Act(SIMULATOR_CONTROLS[index].action);
    Refresh();
}

void SimulatorWindow::Refresh() {
    if (window_ == nullptr) return;
    SetTextIfChanged(::GetDlgItem(window_, IDC_SIMULATOR_STATE), Utf8ToUtf16(panel_.StateText()));
    // "Desconectar" or "Conectar", as the scale stands.
    for (std::size_t i = 0; i < SIMULATOR_CONTROLS.size(); ++i)
        SetTextIfChanged(::GetDlgItem(window_, IDC_SIMULATOR_FIRST_ACTION + static_cast<int>(i)),
                         Utf8ToUtf16(ControlLabel(SIMULATOR_CONTROLS[i], panel_, true)));
}

void SimulatorWindow::PlaceBeside(HWND owner) {
    RECT main, own;
    ::GetWindowRect(owner, &main);
    ::GetWindowRect(window_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    RECT gapRect{0, 0, 4, 4};
    ::MapDialogRect(window_, &gapRect);
    const int gap = gapRect.right;

    // To the right of the main window; where the screen ends first, the main
    // window moves left as far as it can, and only then do they overlap.
    int x = main.right + gap;
    const int shift = std::min(x + width - static_cast<int>(work.right), static_cast<int>(main.left - work.left));
    if (shift > 0) {
        ::SetWindowPos(owner, nullptr, main.left - shift, main.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        x -= shift;
    }
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
    const int y = std::max(static_cast<int>(work.top),
                           std::min(static_cast<int>(main.top), static_cast<int>(work.bottom) - height));
    ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui::win32
