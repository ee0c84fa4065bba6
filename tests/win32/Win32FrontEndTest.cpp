// The Win32 front-end in its real window, driven in-process (headless under
// Wine): the window built from the layout table, the services the logic
// calls, and the events it delivers. A scripted DialogEvents stands in for
// the window's logic.
#include "ui/win32/Win32FrontEnd.h"

#include <gtest/gtest.h>

#include "UiAutomation.h"

#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ControlIds.h"
#include "ui/DialogLayout.h"
#include "ui/win32/SimulatorWindow.h"
#include "ui/win32/TextConversion.h"

namespace {

using namespace win32_test;
using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using platform::ModalResult;
using ui::win32::Utf8ToUtf16;
using ui::win32::Win32FrontEnd;

// The window's logic as a script: events are logged and handed to hooks.
class ScriptedEvents final : public ui::DialogEvents {
public:
    std::function<void()> onInitialize;
    std::function<void(int)> onCommand;
    std::function<void(int)> onTimer;
    std::function<bool(int)> onSysCommand;
    std::function<void()> onClose;
    std::vector<std::string> log;
    int timerDepth = 0;
    int deepestTimer = 0;

    bool Logged(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
    long Count(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }

    void InitializeWindow() override {
        if (onInitialize) onInitialize();
    }
    void OnCommand(int id) override {
        log.push_back("command " + std::to_string(id));
        if (onCommand) onCommand(id);
    }
    void OnEditChange(int id) override { log.push_back("change " + std::to_string(id)); }
    void OnTimer(int id) override {
        deepestTimer = std::max(deepestTimer, ++timerDepth);
        if (onTimer) onTimer(id);
        --timerDepth;
    }
    bool OnSysCommand(int commandId) override {
        log.push_back("syscommand " + std::to_string(commandId));
        return onSysCommand ? onSysCommand(commandId) : false;
    }
    void OnAccept() override { log.push_back("accept"); }
    void OnCancel() override { log.push_back("cancel"); }
    void OnClose() override {
        log.push_back("close");
        if (onClose) onClose();
    }
};

class Win32FrontEndTest : public ::testing::Test {
protected:
    // Runs the main window; `script` runs from its modal loop once it is up
    // and must end it through Close(), at once or in a later step.
    ModalResult RunWindow(std::function<void()> script) {
        Later([this, script] {
            script();
            if (!scriptEnds_ && !closed_) {
                ADD_FAILURE() << "the script did not end the window";
                Close(ModalResult::Cancel);
            }
        });
        const ModalResult result = frontEnd_.RunModal(events_);
        CancelPendingSteps();
        EXPECT_NE(frontEnd_.LastDialogBoxResult(), -1) << "the main window was not created";
        EXPECT_TRUE(closed_) << "the window ended by itself";
        return result;
    }
    void ScriptEndsLater() { scriptEnds_ = true; }
    void Close(ModalResult result) {
        closed_ = true;
        frontEnd_.CloseModal(result);
    }
    HWND Window() const { return static_cast<HWND>(frontEnd_.WindowHandle()); }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }
    static bool IsOtherDialog(HWND window, HWND main) {
        return IsDialogClass(window) && window != main && !IsMessageBox(window);
    }

    // A template rectangle in the live window's pixels; position and size
    // are converted each on its own, as the dialog manager does.
    RECT DialogUnits(const ui::Rect& units) const {
        RECT r{units.x, units.y, units.cx, units.cy};
        ::MapDialogRect(Window(), &r);
        return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
    }

    Win32FrontEnd frontEnd_;
    ScriptedEvents events_;
    bool closed_ = false;
    bool scriptEnds_ = false;
    std::vector<MessageBoxView> boxes_;
    // How the next boxes are answered (IDOK when none is given; 0 is the
    // Escape key); every box is recorded.
    std::deque<int> answers_;
    WindowWatcher watcher_{[this](HWND window) {
        if (!IsMessageBox(window)) return;
        boxes_.push_back(ReadMessageBox(window));
        const int answer = answers_.empty() ? IDOK : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        if (answer == 0) {
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        } else {
            Answer(window, answer);
        }
    }};
};

// --- the window and its inventory -------------------------------------------

TEST_F(Win32FrontEndTest, MainWindowIsTemplate102WithTheAppIcon) {
    const ModalResult result = RunWindow([this] {
        const HWND window = Window();
        EXPECT_EQ(WindowText(window), L"Quelmar");
        const LONG style = ::GetWindowLongW(window, GWL_STYLE);
        const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE),
                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE);
        EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME)) << "no maximise box, a fixed frame";
        EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
        EXPECT_TRUE(exStyle & WS_EX_APPWINDOW) << "shown in the task bar";
        EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr);
        EXPECT_EQ(frontEnd_.SimulatorWindowHandle(), nullptr) << "no simulator panel, no tool window";

        RECT client;
        ::GetClientRect(window, &client);
        const RECT expected = DialogUnits({0, 0, 323, 235});
        EXPECT_EQ(client.right, expected.right);
        EXPECT_EQ(client.bottom, expected.bottom);

        LOGFONTW font{};
        ASSERT_GT(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font),
                  0);
        EXPECT_STREQ(font.lfFaceName, L"Times New Roman");
        const HDC screen = ::GetDC(nullptr);
        EXPECT_EQ(-font.lfHeight, ::MulDiv(10, ::GetDeviceCaps(screen, LOGPIXELSY), 72)) << "10 points";
        ::ReleaseDC(nullptr, screen);

        const auto large = reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, ICON_BIG, 0));
        ASSERT_NE(large, nullptr);
        EXPECT_NE(::SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(large, &info));
        BITMAP mask{};
        ::GetObjectW(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(mask.bmWidth, ::GetSystemMetrics(SM_CXICON));
        ::DeleteObject(info.hbmMask);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
        EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_QUERYDRAGICON, 0, 0)), large);
        Close(ModalResult::Ok);
    });
    EXPECT_EQ(result, ModalResult::Ok);
}

TEST_F(Win32FrontEndTest, ControlsAreTheLayoutTableInCreationOrder) {
    RunWindow([this] {
        const auto& controls = ui::MainDialogTemplate().controls;
        const std::vector<HWND> children = Children(Window());
        ASSERT_EQ(children.size(), controls.size());
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const ui::ControlTemplate& expected = controls[i];
            const HWND child = children[i];
            SCOPED_TRACE("control " + std::to_string(i) + " \"" + std::string(expected.text) + "\"");
            EXPECT_EQ(static_cast<WORD>(::GetDlgCtrlID(child)), static_cast<WORD>(expected.id));
            const std::wstring className = ClassName(child);
            const LONG style = ::GetWindowLongW(child, GWL_STYLE);
            const LONG exStyle = ::GetWindowLongW(child, GWL_EXSTYLE);
            const auto has = [&](unsigned flag) { return (expected.styles & flag) != 0; };
            switch (expected.kind) {
                case ui::ControlKind::PushButton:
                case ui::ControlKind::GroupBox:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Button"), 0);
                    EXPECT_EQ(style & BS_TYPEMASK,
                              expected.kind == ui::ControlKind::GroupBox ? BS_GROUPBOX : BS_PUSHBUTTON);
                    break;
                case ui::ControlKind::Edit:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Edit"), 0);
                    EXPECT_EQ((style & ES_RIGHT) != 0, has(ui::STYLE_RIGHT));
                    EXPECT_EQ((style & ES_AUTOHSCROLL) != 0, has(ui::STYLE_AUTOHSCROLL));
                    EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
                    break;
                case ui::ControlKind::Static:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Static"), 0);
                    EXPECT_EQ((style & SS_TYPEMASK) == SS_CENTER, has(ui::STYLE_CENTER));
                    EXPECT_EQ((style & SS_CENTERIMAGE) != 0, has(ui::STYLE_CENTER_VERTICAL));
                    EXPECT_EQ((exStyle & WS_EX_STATICEDGE) != 0, has(ui::STYLE_THIN_SUNKEN));
                    EXPECT_EQ((exStyle & WS_EX_CLIENTEDGE) != 0, has(ui::STYLE_CLIENT_EDGE));
                    break;
                default:
                    ADD_FAILURE() << "unexpected kind in template 102";
            }
            EXPECT_EQ(WindowText(child), Utf8ToUtf16(expected.text));
            EXPECT_TRUE(::IsWindowVisible(child));
            EXPECT_EQ(::IsWindowEnabled(child) != FALSE, !has(ui::STYLE_DISABLED));
            EXPECT_EQ((style & WS_TABSTOP) != 0, has(ui::STYLE_TABSTOP));
            const RECT rect = ChildRect(child);
            const RECT place = DialogUnits(expected.rect);
            EXPECT_TRUE(::EqualRect(&rect, &place)) << rect.left << "," << rect.top << " " << place.left << ","
                                                     << place.top;
        }
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, TabOrderIsTheTableOrderAndSkipsDisabledButtons) {
    RunWindow([this] {
        std::vector<int> tabStops, enabledTabStops;
        for (const ui::ControlTemplate& control : ui::MainDialogTemplate().controls) {
            if (!(control.styles & ui::STYLE_TABSTOP)) continue;
            tabStops.push_back(control.id);
            if (!(control.styles & ui::STYLE_DISABLED)) enabledTabStops.push_back(control.id);
        }
        // From "&Salir" round the tab stops and back to it.
        const auto walk = [this](std::size_t count) {
            std::vector<int> order;
            HWND at = Item(platform::IDC_EXIT);
            for (std::size_t i = 0; i <= count && at; ++i, at = ::GetNextDlgTabItem(Window(), at, FALSE))
                order.push_back(::GetDlgCtrlID(at));
            return order;
        };
        enabledTabStops.push_back(platform::IDC_EXIT);
        EXPECT_EQ(walk(enabledTabStops.size() - 1), enabledTabStops);
        for (int id : tabStops) frontEnd_.EnableControl(id, true);
        tabStops.push_back(platform::IDC_EXIT);
        EXPECT_EQ(walk(tabStops.size() - 1), tabStops);
        Close(ModalResult::Cancel);
    });
}

// --- services ---------------------------------------------------------------

TEST_F(Win32FrontEndTest, FocusSetInInitialisationIsKeptSelectsTheFieldAndNoButtonIsTheDefault) {
    events_.onInitialize = [this] {
        frontEnd_.SetControlText(platform::LIMIT_FIELD_IDS[2], "100");
        frontEnd_.FocusControl(platform::LIMIT_FIELD_IDS[2]);
    };
    RunWindow([this] {
        EXPECT_EQ(::GetFocus(), Item(platform::LIMIT_FIELD_IDS[2]));
        DWORD start = 99, end = 99;
        ::SendMessageW(Item(platform::LIMIT_FIELD_IDS[2]), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 3u);
        // So Enter in a field is the window's accept command.
        for (const ui::ControlTemplate& control : ui::MainDialogTemplate().controls) {
            if (control.kind == ui::ControlKind::PushButton) {
                EXPECT_NE(::GetWindowLongW(Item(control.id), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
            }
        }
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, ControlTextsKeepTheirAccentsAndControlsAreEnabledLive) {
    RunWindow([this] {
        frontEnd_.SetControlText(platform::IDC_STATE, "Configuración ñÑ ü €");
        EXPECT_EQ(WindowText(Item(platform::IDC_STATE)), L"Configuraci\u00f3n \u00f1\u00d1 \u00fc \u20ac");
        EXPECT_EQ(frontEnd_.GetControlText(platform::IDC_STATE), "Configuración ñÑ ü €");
        ::SetWindowTextW(Item(platform::IDC_REFERENCE_WEIGHT), L"Peso Patr\u00f3n");
        EXPECT_EQ(frontEnd_.GetControlText(platform::IDC_REFERENCE_WEIGHT), "Peso Patrón");
        EXPECT_EQ(frontEnd_.GetControlText(4242), "") << "no such control";

        EXPECT_FALSE(frontEnd_.IsControlEnabled(platform::IDC_START_WORK));
        frontEnd_.EnableControl(platform::IDC_START_WORK, true);
        EXPECT_TRUE(::IsWindowEnabled(Item(platform::IDC_START_WORK)));
        frontEnd_.EnableControl(platform::IDC_CALIBRATE, false);
        EXPECT_FALSE(::IsWindowEnabled(Item(platform::IDC_CALIBRATE)));
        EXPECT_FALSE(frontEnd_.IsControlEnabled(4242));
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, ControlTextsAreWrittenOnlyWhenTheyChange) {
    RunWindow([this] {
        frontEnd_.SetControlText(platform::LIMIT_FIELD_IDS[0], "250");
        ::SendMessageW(Item(platform::LIMIT_FIELD_IDS[0]), EM_SETSEL, 1, 1);
        TextWriteCounter counter;
        // What a tick's field exchange does: every bound text again, one changed.
        for (int tick = 0; tick < 5; ++tick) {
            frontEnd_.SetControlText(platform::IDC_TOTAL_COUNT, tick < 3 ? "0" : "12");
            frontEnd_.SetControlText(platform::IDC_STATE, "Trabajando");
            frontEnd_.SetControlText(platform::LIMIT_FIELD_IDS[0], "250");
        }
        EXPECT_EQ(counter.Writes(), 2) << "\"12\" once and \"Trabajando\" once";
        EXPECT_EQ(counter.UnchangedWrites(), 0);
        EXPECT_EQ(frontEnd_.GetControlText(platform::IDC_TOTAL_COUNT), "12");
        EXPECT_EQ(frontEnd_.GetControlText(platform::IDC_STATE), "Trabajando");
        EXPECT_EQ(events_.Count("change 1008"), 1) << "only the first write of the field";
        DWORD start = 0, end = 0;
        ::SendMessageW(Item(platform::LIMIT_FIELD_IDS[0]), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 1u) << "the operator's caret stays where it was";
        frontEnd_.SetControlText(platform::IDC_STATE, "");
        EXPECT_EQ(counter.Writes(), 3) << "emptying a text is a change too";
        Close(ModalResult::Cancel);
    });
}

// A mode button that disables itself when pressed hands the focus on to the
// next enabled tab stop, so that Tab and Space go on working.
TEST_F(Win32FrontEndTest, AButtonThatDisablesItselfHandsTheFocusOn) {
    struct Row {
        int pressed;
        std::vector<int> enabledByIt;
        int focusAfter;
    };
    const std::vector<Row> rows = {
        {platform::IDC_START_TEST, {platform::IDC_STOP_TEST}, platform::IDC_STOP_TEST},
        {platform::IDC_START_WORK, {platform::IDC_STOP_WORK, platform::IDC_RESTART}, platform::IDC_STOP_WORK},
        {platform::IDC_STOP_WORK, {platform::IDC_CALIBRATE, platform::IDC_START_TEST}, platform::IDC_CALIBRATE},
        // The next enabled control is the first limit field.
        {platform::IDC_STOP_TEST, {platform::IDC_START_TEST, platform::IDC_CALIBRATE}, platform::LIMIT_FIELD_IDS[0]},
    };
    HWND focusWhenPressed = nullptr;
    const Row* current = nullptr;
    events_.onCommand = [&](int id) {
        focusWhenPressed = ::GetFocus();
        for (int other : current->enabledByIt) frontEnd_.EnableControl(other, true);
        frontEnd_.EnableControl(id, false);
    };
    RunWindow([&] {
        frontEnd_.SetControlText(platform::LIMIT_FIELD_IDS[0], "250");
        for (const Row& row : rows) {
            SCOPED_TRACE("pressed " + std::to_string(row.pressed));
            current = &row;
            for (int id : {platform::IDC_START_WORK, platform::IDC_STOP_WORK, platform::IDC_CALIBRATE, platform::IDC_START_TEST,
                           platform::IDC_STOP_TEST, platform::IDC_RESTART})
                frontEnd_.EnableControl(id, id == row.pressed);
            focusWhenPressed = nullptr;
            ::SendMessageW(Item(row.pressed), BM_CLICK, 0, 0);
            EXPECT_EQ(focusWhenPressed, Item(row.pressed)) << "clicking gave the button the focus";
            EXPECT_FALSE(::IsWindowEnabled(Item(row.pressed)));
            EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), row.focusAfter);
        }
        DWORD start = 0, end = 0;
        ::SendMessageW(Item(platform::LIMIT_FIELD_IDS[0]), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, end) << "the field reached this way has no selection";
        // A control disabled while another has the focus leaves it there.
        frontEnd_.FocusControl(platform::IDC_EXIT);
        frontEnd_.EnableControl(platform::IDC_CALIBRATE, false);
        EXPECT_EQ(::GetFocus(), Item(platform::IDC_EXIT));
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, MessageBoxesShowTextCaptionIconAndButtonsAndAnswerCancelOrEscape) {
    std::vector<MessageResult> results;
    answers_ = {IDOK, IDOK, IDOK, IDOK, IDCANCEL, 0};
    RunWindow([&] {
        const auto show = [&](const char* text, const char* caption, MessageIcon icon, MessageButtons buttons) {
            results.push_back(frontEnd_.ShowMessage(text, caption, icon, buttons));
        };
        show("No hay dispositivos USB conectados!", "Quelmar", MessageIcon::Stop, MessageButtons::Ok);
        show("¿Está seguro?", "Estadísticas", MessageIcon::Exclamation, MessageButtons::OkCancel);
        show("Calibración terminada", "", MessageIcon::Information, MessageButtons::Ok);
        show("Sin icono", "Quelmar", MessageIcon::None, MessageButtons::Ok);
        show("Uno", "Quelmar", MessageIcon::Exclamation, MessageButtons::OkCancel);
        show("Dos", "Quelmar", MessageIcon::Exclamation, MessageButtons::OkCancel);
        Close(ModalResult::Cancel);
    });
    ASSERT_EQ(boxes_.size(), 6u);
    EXPECT_EQ(boxes_[0].text, L"No hay dispositivos USB conectados!");
    EXPECT_EQ(boxes_[0].caption, L"Quelmar");
    EXPECT_EQ(boxes_[0].icon, BoxIcon::Stop);
    EXPECT_TRUE(boxes_[0].hasOk && !boxes_[0].hasCancel);
    EXPECT_NE(boxes_[0].owner, nullptr) << "a box over the main window";
    EXPECT_EQ(boxes_[1].text, L"\u00bfEst\u00e1 seguro?");
    EXPECT_EQ(boxes_[1].caption, L"Estad\u00edsticas");
    EXPECT_EQ(boxes_[1].icon, BoxIcon::Exclamation);
    EXPECT_TRUE(boxes_[1].hasCancel);
    EXPECT_EQ(boxes_[2].caption, L"Win32FrontEndTest") << "no caption: the program file's name";
    EXPECT_EQ(boxes_[2].icon, BoxIcon::Information);
    EXPECT_EQ(boxes_[3].icon, BoxIcon::None);
    EXPECT_EQ(results, (std::vector<MessageResult>{MessageResult::Ok, MessageResult::Ok, MessageResult::Ok,
                                                   MessageResult::Ok, MessageResult::Cancel, MessageResult::Cancel}));
}

TEST_F(Win32FrontEndTest, LocalTimeIsTheSystemClock) {
    // Read until the system clock did not move across the call.
    for (int attempt = 0; attempt < 5; ++attempt) {
        SYSTEMTIME before, after;
        ::GetLocalTime(&before);
        const platform::LocalDateTime now = frontEnd_.LocalTime();
        ::GetLocalTime(&after);
        if (before.wSecond != after.wSecond || before.wMinute != after.wMinute) continue;
        EXPECT_EQ(std::vector<int>({now.year, now.month, now.day, now.hour, now.minute, now.second, now.dayOfWeek}),
                  std::vector<int>({after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond,
                                    after.wDayOfWeek}));
        return;
    }
    ADD_FAILURE() << "the clock never held still";
}

// --- events -----------------------------------------------------------------

TEST_F(Win32FrontEndTest, ButtonClicksAndEditChangesReachTheLogic) {
    ScriptEndsLater();
    RunWindow([this] {
        ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_START_TEST)));
        EXPECT_FALSE(ClickIfEnabled(Item(platform::IDC_STOP_TEST))) << "disabled at start";
        ::SendMessageW(Item(platform::LIMIT_FIELD_IDS[1]), WM_CHAR, L'5', 0);
        Later([this] {
            EXPECT_TRUE(events_.Logged("command 1040"));
            EXPECT_FALSE(events_.Logged("command 1041"));
            EXPECT_EQ(events_.Count("change 1010"), 1);
            EXPECT_EQ(frontEnd_.GetControlText(platform::LIMIT_FIELD_IDS[1]), "5");
            Close(ModalResult::Cancel);
        });
    });
}

TEST_F(Win32FrontEndTest, EnterAndEscapeGoToTheLogicAndDoNotEndTheWindow) {
    ScriptEndsLater();
    RunWindow([this] {
        frontEnd_.FocusControl(platform::LIMIT_FIELD_IDS[0]);
        ::PostMessageW(Item(platform::LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(Item(platform::LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_ESCAPE, 0);
        Later([this] {
            EXPECT_EQ(events_.log, (std::vector<std::string>{"accept", "cancel"}));
            EXPECT_TRUE(::IsWindowVisible(Window())) << "the logic decides, and this one did nothing";
            // Enter on a push button presses that button instead.
            frontEnd_.FocusControl(platform::IDC_START_TEST);
            ::PostMessageW(Item(platform::IDC_START_TEST), WM_KEYDOWN, VK_RETURN, 0);
            Later([this] {
                EXPECT_EQ(events_.log, (std::vector<std::string>{"accept", "cancel", "command 1040"}));
                Close(ModalResult::Cancel);
            });
        });
    });
}

TEST_F(Win32FrontEndTest, CloseBoxAndSystemMenuCloseReachOnClose) {
    events_.onClose = [this] { Close(ModalResult::Cancel); };
    ScriptEndsLater();
    // Not handled by the logic, so the default handling makes it a close.
    EXPECT_EQ(RunWindow([this] { ::PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }), ModalResult::Cancel);
    EXPECT_EQ(events_.log, (std::vector<std::string>{"syscommand " + std::to_string(SC_CLOSE), "close"}))
        << "closing is not the Escape key";
}

TEST_F(Win32FrontEndTest, SystemMenuEndsWithTheAboutItemAndOpensTheAboutBox) {
    HWND about = nullptr;
    std::wstring caption, text, okText;
    bool okIsDefault = false, textHasNoPrefix = false, iconShown = false;
    LOGFONTW font{};
    watcher_.SetHandler([&](HWND window) {
        if (!IsOtherDialog(window, Window())) return;
        about = window;
        caption = WindowText(window);
        for (HWND child : Children(window)) {
            const LONG style = ::GetWindowLongW(child, GWL_STYLE);
            if (_wcsicmp(ClassName(child).c_str(), L"Static") != 0) continue;
            if ((style & SS_TYPEMASK) == SS_ICON) {
                iconShown = ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
            } else {
                text = WindowText(child);
                textHasNoPrefix = (style & SS_NOPREFIX) != 0;
            }
        }
        const HWND ok = ::GetDlgItem(window, IDOK);
        okText = WindowText(ok);
        okIsDefault = (::GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_TRUE(ClickIfEnabled(ok));
    });
    events_.onInitialize = [this] { frontEnd_.AppendSystemMenuItem(platform::SYSMENU_ABOUT_ID, "&Acerca de quelmar..."); };
    events_.onSysCommand = [this](int id) {
        if (id != platform::SYSMENU_ABOUT_ID) return false;
        frontEnd_.RunAboutBox();
        return true;
    };
    RunWindow([this] {
        const HMENU menu = ::GetSystemMenu(Window(), FALSE);
        const int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        MENUITEMINFOW separator{};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        ASSERT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(count - 2), TRUE, &separator));
        EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
        wchar_t item[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(count - 1), item, 64, MF_BYPOSITION);
        EXPECT_STREQ(item, L"&Acerca de quelmar...");
        EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(platform::SYSMENU_ABOUT_ID));
        // The low four bits of a system command are the system's own.
        ::SendMessageW(Window(), WM_SYSCOMMAND, platform::SYSMENU_ABOUT_ID | 0x3, 0);
        Close(ModalResult::Cancel);
    });
    ASSERT_NE(about, nullptr) << "no About box appeared";
    EXPECT_TRUE(events_.Logged("syscommand 16"));
    EXPECT_EQ(frontEnd_.LastAboutBoxResult(), IDOK);
    EXPECT_EQ(caption, L"Acerca de Quelmar");
    EXPECT_EQ(text, L"Quelmar Versi\u00f3n 1.0");
    EXPECT_TRUE(textHasNoPrefix);
    EXPECT_TRUE(iconShown);
    EXPECT_EQ(okText, L"Aceptar");
    EXPECT_TRUE(okIsDefault);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
}

// --- timers -----------------------------------------------------------------

TEST_F(Win32FrontEndTest, TimerTicksKeepComingWhileAMessageBoxIsOpen) {
    HWND box = nullptr;
    int ticksDuringBox = 0;
    watcher_.SetHandler([&](HWND window) {
        if (IsMessageBox(window)) box = window;  // left open: the ticks answer it
    });
    events_.onTimer = [&](int id) {
        if (id == platform::TIMER_WORK && box != nullptr && ++ticksDuringBox == 3) Answer(box, IDOK);
    };
    RunWindow([&] {
        frontEnd_.StartTimer(platform::TIMER_WORK, 10);
        EXPECT_EQ(frontEnd_.ShowMessage("¿Desea resetear las estadísticas?", "Quelmar", MessageIcon::Exclamation,
                                        MessageButtons::OkCancel),
                  MessageResult::Ok);
        frontEnd_.StopTimer(platform::TIMER_WORK);
        frontEnd_.StopTimer(platform::TIMER_TEST);  // not running: nothing happens
        Close(ModalResult::Cancel);
    });
    EXPECT_GE(ticksDuringBox, 3);
    EXPECT_EQ(events_.deepestTimer, 1);
}

TEST_F(Win32FrontEndTest, ATickIsNeverHandledInsideAnother) {
    int handled = 0;
    events_.onTimer = [&](int id) {
        if (++handled > 1) return;
        // A tick falls due while this one shows a box: the box's modal loop
        // pumps it, and it must not run inside this handler.
        ::PostMessageW(Window(), WM_TIMER, static_cast<WPARAM>(id), 0);
        frontEnd_.ShowMessage("Dentro del tick", "Quelmar", MessageIcon::Information, MessageButtons::Ok);
    };
    ScriptEndsLater();
    RunWindow([&] {
        ::PostMessageW(Window(), WM_TIMER, platform::TIMER_TEST, 0);
        Later([&] {
            EXPECT_EQ(boxes_.size(), 1u) << "the first tick's box ran";
            EXPECT_EQ(handled, 1);
            EXPECT_EQ(frontEnd_.DroppedTimerTicks(), 1u);
            ::PostMessageW(Window(), WM_TIMER, platform::TIMER_TEST, 0);  // handled again once it is over
            Later([&] {
                EXPECT_EQ(handled, 2);
                Close(ModalResult::Cancel);
            });
        });
    });
    EXPECT_EQ(events_.deepestTimer, 1);
}

// --- the simulated scale's tool window ---------------------------------------

// Stands in for the simulated scale: its state follows the keys it is given.
class FakePanel final : public ui::SimulatorPanel {
public:
    std::string StatusLine() const override { return StateText() + "   F2 peso patrón"; }
    std::string StateText() const override {
        if (unplugged) return "Balanza simulada: desconectada";
        return std::string("Balanza simulada: Trabajando") +
               (referenceOn ? ", peso patrón puesto" : ", sin peso patrón") + (paused ? ", en pausa" : "");
    }
    bool HandleKey(int key) override {
        keys.push_back(key);
        if (key == ui::PANEL_KEY_F2) referenceOn = !referenceOn;
        if (key == ui::PANEL_KEY_F3) paused = !paused;
        if (key == ui::PANEL_KEY_F4) unplugged = true;
        return true;
    }
    std::vector<int> keys;
    bool referenceOn = false, paused = false, unplugged = false;
};

TEST_F(Win32FrontEndTest, SimulatorToolWindowStandsBesideTheWindowAndWorksWhileABoxIsOpen) {
    FakePanel panel;
    frontEnd_.SetSimulatorPanel(&panel);
    const auto tool = [this] { return static_cast<HWND>(frontEnd_.SimulatorWindowHandle()); };
    const auto toolItem = [&](int id) { return ::GetDlgItem(tool(), id); };
    const auto stateShown = [&] { return WindowText(toolItem(ui::win32::IDC_SIMULATOR_STATE)); };
    bool boxSeen = false;
    watcher_.SetHandler([&](HWND box) {
        if (!IsMessageBox(box)) return;
        boxSeen = true;
        Later([&, box] {
            // What a calibration's "put the reference weight on" box allows.
            EXPECT_FALSE(::IsWindowEnabled(Window())) << "the box is modal to the main window";
            EXPECT_TRUE(::IsWindowEnabled(tool()));
            EXPECT_NE(::GetWindow(tool(), GW_OWNER), box);
            for (int id : {ui::win32::IDC_SIMULATOR_REFERENCE, ui::win32::IDC_SIMULATOR_PAUSE,
                           ui::win32::IDC_SIMULATOR_UNPLUG}) {
                ASSERT_TRUE(::IsWindowEnabled(toolItem(id))) << id;
                ::SendMessageW(toolItem(id), BM_CLICK, 0, 0);
                if (id == ui::win32::IDC_SIMULATOR_REFERENCE) {
                    EXPECT_EQ(stateShown(), L"Balanza simulada: Trabajando, peso patr\u00f3n puesto")
                        << "refreshed at once";
                }
            }
            EXPECT_EQ(stateShown(), L"Balanza simulada: desconectada");
            EXPECT_FALSE(::IsWindowEnabled(toolItem(ui::win32::IDC_SIMULATOR_UNPLUG))) << "no plugging in again";
            EXPECT_TRUE(::IsWindowEnabled(toolItem(ui::win32::IDC_SIMULATOR_REFERENCE)));
            Answer(box, IDOK);
        });
    });
    RunWindow([&] {
        ASSERT_NE(tool(), nullptr);
        EXPECT_TRUE(::IsWindowVisible(tool()));
        EXPECT_EQ(WindowText(tool()), L"Balanza simulada");
        EXPECT_EQ(::GetWindow(tool(), GW_OWNER), Window());
        EXPECT_TRUE(::GetWindowLongW(tool(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        EXPECT_EQ(::GetActiveWindow(), Window()) << "showing it took nothing from the main window";
        EXPECT_EQ(stateShown(), L"Balanza simulada: Trabajando, sin peso patr\u00f3n");
        std::vector<std::wstring> buttons;
        for (int id : {ui::win32::IDC_SIMULATOR_REFERENCE, ui::win32::IDC_SIMULATOR_PAUSE,
                       ui::win32::IDC_SIMULATOR_UNPLUG})
            buttons.push_back(WindowText(toolItem(id)));
        EXPECT_EQ(buttons, (std::vector<std::wstring>{L"Peso patr\u00f3n", L"Pausa", L"Desconectar"}));
        RECT main, beside;
        ::GetWindowRect(Window(), &main);
        ::GetWindowRect(tool(), &beside);
        EXPECT_GT(beside.left, main.right - 1) << "beside the main window, not over it";
        EXPECT_EQ(beside.top, main.top);
        frontEnd_.ShowMessage("Ponga el peso patron sobre la balanza", "Calibracion de Balanza",
                              MessageIcon::Exclamation, MessageButtons::OkCancel);
        Close(ModalResult::Cancel);
    });
    EXPECT_TRUE(boxSeen);
    EXPECT_EQ(panel.keys, (std::vector<int>{ui::PANEL_KEY_F2, ui::PANEL_KEY_F3, ui::PANEL_KEY_F4}));
    EXPECT_EQ(frontEnd_.SimulatorWindowHandle(), nullptr) << "gone with the main window";
}

// --- file dialogs -------------------------------------------------------------

class Win32FileDialogTest : public Win32FrontEndTest {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"quelmar-dialog-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const wchar_t* name : {L"informe.est", L"existe.est"}) ::DeleteFileW((folder_ + name).c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    // Runs a save dialog whose windows `onDialog` handles.
    std::optional<std::string> ChooseToSave(std::function<void(HWND)> onDialog) {
        watcher_.SetHandler([this, onDialog](HWND window) {
            if (IsDialogClass(window) && window != Window()) onDialog(window);
        });
        std::optional<std::string> chosen = "unset";
        RunWindow([&] {
            platform::FileDialogSettings settings;
            settings.kind = platform::FileDialogKind::Save;
            settings.initialFolder = ui::win32::Utf16ToUtf8(folder_);
            settings.filters = {{"Archivos Estadística(*.est)", "*.est"}, {"Todos(*.*)", "*.*"}};
            settings.defaultExtension = ".est";
            chosen = frontEnd_.ChooseFile(settings);
            Close(ModalResult::Cancel);
        });
        return chosen;
    }
    bool IsInFolder(const std::optional<std::string>& chosen, const wchar_t* name) const {
        return chosen && _wcsicmp(Utf8ToUtf16(*chosen).c_str(), (folder_ + name).c_str()) == 0;
    }
    // Types a name into an open file dialog and presses its OK button.
    static void TypeNameAndAccept(HWND dialog, const wchar_t* name) {
        HWND field = ::GetDlgItem(dialog, cmb13);
        if (field == nullptr) field = ::GetDlgItem(dialog, edt1);
        ASSERT_NE(field, nullptr);
        ::SetWindowTextW(field, name);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }

    std::wstring folder_;
};

TEST_F(Win32FileDialogTest, CancelledDialogGivesNothing) {
    bool dialogSeen = false;
    const auto chosen = ChooseToSave([&](HWND window) {
        dialogSeen = true;
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(chosen, std::nullopt);
}

TEST_F(Win32FileDialogTest, SaveAddsTheDefaultExtensionInTheInitialFolder) {
    int filterIndex = -1;
    bool readOnlyVisible = true;
    const auto chosen = ChooseToSave([&](HWND window) {
        // Read once the dialog has finished setting itself up.
        Later([&, window] {
            filterIndex = static_cast<int>(::SendMessageW(::GetDlgItem(window, cmb1), CB_GETCURSEL, 0, 0));
            const HWND readOnly = ::GetDlgItem(window, chx1);
            readOnlyVisible = readOnly != nullptr && ::IsWindowVisible(readOnly);
            TypeNameAndAccept(window, L"informe");
        });
    });
    EXPECT_TRUE(IsInFolder(chosen, L"informe.est")) << chosen.value_or("(none)");
    EXPECT_EQ(filterIndex, 0) << "the first filter is selected";
    EXPECT_FALSE(readOnlyVisible);
}

TEST_F(Win32FileDialogTest, SaveOverAnExistingFileAsksFirst) {
    const HANDLE file = ::CreateFileW((folder_ + L"existe.est").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    int questions = 0;
    const auto chosen = ChooseToSave([&](HWND window) {
        if (::GetDlgItem(window, IDYES) != nullptr && ::GetDlgItem(window, IDNO) != nullptr) {
            ++questions;
            Answer(window, IDYES);
        } else if (!IsMessageBox(window)) {
            TypeNameAndAccept(window, L"existe");
        }
    });
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(IsInFolder(chosen, L"existe.est")) << chosen.value_or("(none)");
}

}  // namespace
