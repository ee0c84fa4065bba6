#include "ui/win32/Win32FrontEnd.h"

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "ui/DialogLayout.h"
#include "ui/win32/ControlHelpers.h"
#include "ui/win32/DialogTemplateBuilder.h"
#include "ui/win32/SimulatorWindow.h"
#include "ui/win32/TextConversion.h"

namespace ui::win32 {
namespace {

// The icon resource of the application (AppIcon), in quelmar.rc.
constexpr int ICON_RESOURCE_ID = 128;

HWND Hwnd(void* window) { return static_cast<HWND>(window); }

HICON LoadAppIcon(int width, int height) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ICON_RESOURCE_ID), IMAGE_ICON,
                                           width, height, LR_DEFAULTCOLOR));
}

INT_PTR RunTemplate(const DialogTemplate& layout, HWND owner, DLGPROC procedure, LPARAM parameter) {
    const std::vector<std::uint16_t> bytes = BuildDialogTemplate(layout);
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                     owner, procedure, parameter);
}

}  // namespace

class DialogProcedures {
public:
    static INT_PTR CALLBACK Main(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        Win32FrontEnd* self = nullptr;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<Win32FrontEnd*>(lParam);
            ::SetWindowLongPtrW(window, DWLP_USER, lParam);
            self->window_ = window;
        } else {
            self = reinterpret_cast<Win32FrontEnd*>(::GetWindowLongPtrW(window, DWLP_USER));
        }
        if (self == nullptr || self->events_ == nullptr) return FALSE;
        if (message == WM_NCDESTROY) {
            self->window_ = nullptr;
            return FALSE;
        }
        return self->HandleMessage(message, wParam, lParam);
    }

    static INT_PTR CALLBACK About(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_INITDIALOG: {
                // The icon control of the layout has no text to load an icon
                // from: it is given AppIcon here.
                const auto* self = reinterpret_cast<const Win32FrontEnd*>(lParam);
                for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && self->largeIcon_)
                        ::SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(self->largeIcon_), 0);
                }
                return TRUE;
            }
            case WM_COMMAND:
                if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                    ::EndDialog(window, LOWORD(wParam));
                    return TRUE;
                }
                return FALSE;
            default: return FALSE;
        }
    }
};

Win32FrontEnd::Win32FrontEnd() {
    // The themed ("3-D") controls of the common-controls manifest.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    largeIcon_ = LoadAppIcon(::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    smallIcon_ = LoadAppIcon(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON));
}

Win32FrontEnd::~Win32FrontEnd() {
    if (largeIcon_) ::DestroyIcon(static_cast<HICON>(largeIcon_));
    if (smallIcon_) ::DestroyIcon(static_cast<HICON>(smallIcon_));
}

platform::ModalResult Win32FrontEnd::RunModal(DialogEvents& events) {
    events_ = &events;
    ended_ = false;
    lastMainResult_ =
        RunTemplate(MainDialogTemplate(), nullptr, DialogProcedures::Main, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    events_ = nullptr;
    return lastMainResult_ == IDOK ? platform::ModalResult::Ok : platform::ModalResult::Cancel;
}

std::intptr_t Win32FrontEnd::HandleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    const HWND window = Hwnd(window_);
    switch (message) {
        case WM_INITDIALOG:
            ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
            ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
            initializing_ = true;
            focusSetDuringInit_ = false;
            events_->InitializeWindow();
            initializing_ = false;
            if (panel_ != nullptr && !ended_) simulator_ = std::make_unique<SimulatorWindow>(*panel_, window);
            // TRUE lets the dialog manager focus the first tab stop ("&Salir")
            // unless the window's logic has already put the focus elsewhere.
            return focusSetDuringInit_ ? FALSE : TRUE;

        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const unsigned code = HIWORD(wParam);
            if (id == IDOK) {
                events_->OnAccept();  // Enter outside a push button
            } else if (id == IDCANCEL) {
                events_->OnCancel();  // Escape
            } else if (code == BN_CLICKED && lParam != 0) {
                events_->OnCommand(id);
            } else if (code == EN_CHANGE) {
                events_->OnEditChange(id);
            } else {
                return FALSE;
            }
            return TRUE;
        }

        case WM_TIMER:
            // Also from the modal loop of a box that a tick opened: the
            // window's logic drops a tick that arrives inside another.
            events_->OnTimer(static_cast<int>(wParam));
            return TRUE;

        case WM_SYSCOMMAND: return events_->OnSysCommand(static_cast<int>(wParam & 0xFFF0)) ? TRUE : FALSE;

        case WM_CLOSE:
            // The close box, the system menu's close item and Alt+F4. Handled
            // here so that the dialog manager does not turn it into IDCANCEL.
            events_->OnClose();
            return TRUE;

        case WM_PAINT: {
            if (!::IsIconic(window)) return FALSE;
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(window, &paint);
            ::SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            RECT client;
            ::GetClientRect(window, &client);
            const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
            const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
            ::DrawIcon(dc, x, y, static_cast<HICON>(largeIcon_));
            ::EndPaint(window, &paint);
            return TRUE;
        }

        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(largeIcon_);

        case WM_DESTROY: simulator_.reset(); return FALSE;

        default: return FALSE;
    }
}

void* Win32FrontEnd::SimulatorWindowHandle() const { return simulator_ ? simulator_->Handle() : nullptr; }

void* Win32FrontEnd::Control(int id) const { return window_ ? ::GetDlgItem(Hwnd(window_), id) : nullptr; }

std::string Win32FrontEnd::ApplicationName() {
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring name(path.data(), length);
    const auto slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
    return Utf16ToUtf8(name);
}

platform::MessageResult Win32FrontEnd::ShowMessage(std::string_view text, std::string_view caption,
                                                   platform::MessageIcon icon, platform::MessageButtons buttons) {
    UINT flags = buttons == platform::MessageButtons::Ok ? MB_OK : MB_OKCANCEL;
    if (buttons == platform::MessageButtons::OkCancelDefaultCancel) flags |= MB_DEFBUTTON2;
    switch (icon) {
        case platform::MessageIcon::None: break;
        case platform::MessageIcon::Stop: flags |= MB_ICONSTOP; break;
        case platform::MessageIcon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
        case platform::MessageIcon::Information: flags |= MB_ICONINFORMATION; break;
    }
    const std::wstring wideText = Utf8ToUtf16(text);
    const std::wstring wideCaption = Utf8ToUtf16(caption.empty() ? std::string_view(ApplicationName()) : caption);
    const int answer = ::MessageBoxW(Hwnd(window_), wideText.c_str(), wideCaption.c_str(), flags);
    return answer == IDOK ? platform::MessageResult::Ok : platform::MessageResult::Cancel;
}

void Win32FrontEnd::EnableControl(int id, bool enabled) {
    if (void* control = Control(id)) EnableDialogControl(Hwnd(window_), Hwnd(control), enabled);
}

bool Win32FrontEnd::IsControlEnabled(int id) const {
    void* control = Control(id);
    return control != nullptr && ::IsWindowEnabled(Hwnd(control));
}

void Win32FrontEnd::StartTimer(int id, unsigned milliseconds) {
    if (window_) ::SetTimer(Hwnd(window_), static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void Win32FrontEnd::StopTimer(int id) {
    if (window_) ::KillTimer(Hwnd(window_), static_cast<UINT_PTR>(id));
}

void Win32FrontEnd::SetControlText(int id, std::string_view text) {
    if (void* control = Control(id)) SetTextIfChanged(Hwnd(control), Utf8ToUtf16(text));
}

std::string Win32FrontEnd::GetControlText(int id) const {
    void* control = Control(id);
    return control == nullptr ? std::string() : Utf16ToUtf8(WindowTextOf(Hwnd(control)));
}

void Win32FrontEnd::FocusControl(int id) {
    void* control = Control(id);
    if (control == nullptr) return;
    // WM_NEXTDLGCTL keeps the dialog manager's idea of the focus (and of the
    // default button) right, which a bare SetFocus would not.
    ::SendMessageW(Hwnd(window_), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    if (::SendMessageW(Hwnd(control), WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        ::SendMessageW(Hwnd(control), EM_SETSEL, 0, -1);
    if (initializing_) focusSetDuringInit_ = true;
}

int Win32FrontEnd::FocusedControl() const {
    HWND focus = ::GetFocus();
    return focus != nullptr && window_ != nullptr && ::IsChild(Hwnd(window_), focus) ? ::GetDlgCtrlID(focus) : 0;
}

void Win32FrontEnd::CloseModal(platform::ModalResult result) {
    if (window_ == nullptr) return;
    ended_ = true;
    ::EndDialog(Hwnd(window_), result == platform::ModalResult::Ok ? IDOK : IDCANCEL);
}

void Win32FrontEnd::AppendSystemMenuItem(int commandId, std::string_view text) {
    if (window_ == nullptr) return;
    const HMENU menu = ::GetSystemMenu(Hwnd(window_), FALSE);
    if (menu == nullptr) return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), Utf8ToUtf16(text).c_str());
}

void Win32FrontEnd::RunAboutBox() {
    lastAboutResult_ =
        RunTemplate(AboutDialogTemplate(), Hwnd(window_), DialogProcedures::About, reinterpret_cast<LPARAM>(this));
}

std::optional<std::string> Win32FrontEnd::ChooseFile(const platform::FileDialogSettings& settings) {
    // "description\0pattern\0" for each entry, then one more terminator.
    std::wstring filter;
    for (const platform::FileFilter& entry : settings.filters) {
        filter += Utf8ToUtf16(entry.description);
        filter.push_back(L'\0');
        filter += Utf8ToUtf16(entry.pattern);
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    const std::wstring folder = Utf8ToUtf16(settings.initialFolder);
    std::string_view extension = settings.defaultExtension;
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    const std::wstring defaultExtension = Utf8ToUtf16(extension);
    std::vector<wchar_t> file(32768, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Hwnd(window_);
    dialog.lpstrFilter = settings.filters.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (settings.kind == platform::FileDialogKind::Save) dialog.Flags |= OFN_OVERWRITEPROMPT;

    const BOOL chosen =
        settings.kind == platform::FileDialogKind::Save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
    if (!chosen) return std::nullopt;
    return Utf16ToUtf8(file.data());
}

platform::LocalDateTime Win32FrontEnd::LocalTime() const {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return ToLocalDateTime(now);
}

}  // namespace ui::win32
