// The Win32 front-end in its real window, driven in-process (headless under
// Wine): the window built from the layout table, the services the logic
// calls, and the events it delivers. A scripted DialogEvents stands in for
// the window's logic.
#include "ui/win32/Win32FrontEnd.h"

#include <gtest/gtest.h>

#include "UiAutomation.h"

#include <commdlg.h>
#include <dlgs.h>

#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "scale/ControlIds.h"
#include "ui/DialogLayout.h"
#include "ui/win32/TextConversion.h"

namespace {

using namespace win32_test;
using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using platform::ModalResult;
using ui::win32::Utf8ToUtf16;
using ui::win32::Win32FrontEnd;

// The window's logic as a script: each event is recorded and handed to an
// optional action.
class ScriptedEvents final : public ui::DialogEvents {
public:
    std::function<void()> onInitialize;
    std::function<void(int)> onCommand;
    std::function<void(int)> onTimer;
    std::function<bool(int)> onSysCommand;
    std::function<void()> onClose;

    std::vector<std::string> log;
    int accepts = 0;
    int cancels = 0;
    int timerDepth = 0;
    int deepestTimer = 0;

    void InitializeWindow() override {
        log.push_back("init");
        if (onInitialize) onInitialize();
    }
    void OnCommand(int id) override {
        log.push_back("command " + std::to_string(id));
        if (onCommand) onCommand(id);
    }
    void OnEditChange(int id) override { log.push_back("change " + std::to_string(id)); }
    void OnTimer(int id) override {
        ++timerDepth;
        deepestTimer = std::max(deepestTimer, timerDepth);
        if (onTimer) onTimer(id);
        --timerDepth;
    }
    bool OnSysCommand(int commandId) override {
        log.push_back("syscommand " + std::to_string(commandId));
        return onSysCommand ? onSysCommand(commandId) : false;
    }
    void OnAccept() override { ++accepts; }
    void OnCancel() override { ++cancels; }
    void OnClose() override {
        log.push_back("close");
        if (onClose) onClose();
    }
};

bool Logged(const ScriptedEvents& events, const std::string& entry) {
    for (const std::string& line : events.log)
        if (line == entry) return true;
    return false;
}

class Win32FrontEndTest : public ::testing::Test {
protected:
    // Runs the main window; `script` runs from its modal loop once it is up
    // and must end it through Close() (directly or in a later step).
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

    // For scripts that go on in later steps: they end the window themselves.
    void ScriptEndsLater() { scriptEnds_ = true; }

    void Close(ModalResult result) {
        closed_ = true;
        frontEnd_.CloseModal(result);
    }

    HWND Window() const { return static_cast<HWND>(frontEnd_.WindowHandle()); }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }

    // A template rectangle in the live window's pixels. Position and size
    // are converted each on its own, as the dialog manager does.
    RECT DialogUnits(const ui::Rect& units) const {
        RECT converted{units.x, units.y, units.cx, units.cy};
        ::MapDialogRect(Window(), &converted);
        return RECT{converted.left, converted.top, converted.left + converted.right,
                    converted.top + converted.bottom};
    }

    Win32FrontEnd frontEnd_;
    ScriptedEvents events_;
    bool closed_ = false;
    bool scriptEnds_ = false;
    std::vector<MessageBoxView> boxes_;
    // Answers every message box with OK and records what it showed.
    WindowWatcher watcher_{[this](HWND window) {
        if (!IsMessageBox(window)) return;
        boxes_.push_back(ReadMessageBox(window));
        Answer(window, IDOK);
    }};
};

// --- the window and its inventory -------------------------------------------

TEST_F(Win32FrontEndTest, MainWindowIsTemplate102) {
    const ModalResult result = RunWindow([this] {
        const HWND window = Window();
        EXPECT_EQ(WindowText(window), L"Quelmar");
        const LONG style = ::GetWindowLongW(window, GWL_STYLE);
        const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_TRUE(style & WS_MINIMIZEBOX);
        EXPECT_FALSE(style & WS_MAXIMIZEBOX);
        EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be resizable";
        EXPECT_TRUE(style & WS_VISIBLE);
        EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
        EXPECT_TRUE(exStyle & WS_EX_APPWINDOW) << "shown in the task bar";
        EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr);

        RECT client;
        ::GetClientRect(window, &client);
        const RECT expected = DialogUnits({0, 0, 323, 235});
        EXPECT_EQ(client.right, expected.right);
        EXPECT_EQ(client.bottom, expected.bottom);

        LOGFONTW font{};
        const auto dialogFont = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
        ASSERT_NE(dialogFont, nullptr);
        ASSERT_GT(::GetObjectW(dialogFont, sizeof font, &font), 0);
        EXPECT_STREQ(font.lfFaceName, L"Times New Roman");
        // 10 points at the screen's resolution.
        const HDC screen = ::GetDC(nullptr);
        EXPECT_EQ(-font.lfHeight, ::MulDiv(10, ::GetDeviceCaps(screen, LOGPIXELSY), 72));
        ::ReleaseDC(nullptr, screen);
        Close(ModalResult::Ok);
    });
    EXPECT_EQ(result, ModalResult::Ok);
}

TEST_F(Win32FrontEndTest, AppIconIsTheLargeAndSmallIconAndTheDragIcon) {
    RunWindow([this] {
        const auto large = reinterpret_cast<HICON>(::SendMessageW(Window(), WM_GETICON, ICON_BIG, 0));
        const auto small = reinterpret_cast<HICON>(::SendMessageW(Window(), WM_GETICON, ICON_SMALL, 0));
        ASSERT_NE(large, nullptr);
        ASSERT_NE(small, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(large, &info));
        BITMAP mask{};
        ::GetObjectW(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(mask.bmWidth, ::GetSystemMetrics(SM_CXICON));
        ::DeleteObject(info.hbmMask);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
        EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(Window(), WM_QUERYDRAGICON, 0, 0)), large);
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, ControlsAreTheLayoutTableInCreationOrder) {
    RunWindow([this] {
        const auto& controls = ui::MainDialogTemplate().controls;
        const std::vector<HWND> children = Children(Window());
        ASSERT_EQ(children.size(), controls.size());
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const ui::ControlTemplate& expected = controls[i];
            const HWND child = children[i];
            SCOPED_TRACE("control " + std::to_string(i) + " \"" + std::string(expected.text) + "\" id " +
                         std::to_string(expected.id));
            EXPECT_EQ(static_cast<WORD>(::GetDlgCtrlID(child)), static_cast<WORD>(expected.id));
            const std::wstring className = ClassName(child);
            const LONG style = ::GetWindowLongW(child, GWL_STYLE);
            const LONG exStyle = ::GetWindowLongW(child, GWL_EXSTYLE);
            switch (expected.kind) {
                case ui::ControlKind::PushButton:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Button"), 0);
                    EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);
                    break;
                case ui::ControlKind::GroupBox:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Button"), 0);
                    EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX);
                    break;
                case ui::ControlKind::Edit:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Edit"), 0);
                    EXPECT_EQ((style & ES_RIGHT) != 0, (expected.styles & ui::STYLE_RIGHT) != 0);
                    EXPECT_EQ((style & ES_AUTOHSCROLL) != 0, (expected.styles & ui::STYLE_AUTOHSCROLL) != 0);
                    // An edit control draws WS_BORDER as a sunken client edge.
                    EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
                    break;
                case ui::ControlKind::Static:
                    EXPECT_EQ(_wcsicmp(className.c_str(), L"Static"), 0);
                    EXPECT_EQ((style & SS_TYPEMASK) == SS_CENTER, (expected.styles & ui::STYLE_CENTER) != 0);
                    EXPECT_EQ((style & SS_CENTERIMAGE) != 0, (expected.styles & ui::STYLE_CENTER_VERTICAL) != 0);
                    EXPECT_EQ((exStyle & WS_EX_STATICEDGE) != 0, (expected.styles & ui::STYLE_THIN_SUNKEN) != 0);
                    EXPECT_EQ((exStyle & WS_EX_CLIENTEDGE) != 0, (expected.styles & ui::STYLE_CLIENT_EDGE) != 0);
                    break;
                default:
                    ADD_FAILURE() << "unexpected kind in template 102";
            }
            // Edit fields start empty: the window's logic fills them.
            EXPECT_EQ(WindowText(child), Utf8ToUtf16(expected.text));
            EXPECT_TRUE(::IsWindowVisible(child));
            EXPECT_EQ(::IsWindowEnabled(child) != FALSE, (expected.styles & ui::STYLE_DISABLED) == 0);
            EXPECT_EQ((style & WS_TABSTOP) != 0, (expected.styles & ui::STYLE_TABSTOP) != 0);

            const RECT rect = ChildRect(child);
            const RECT place = DialogUnits(expected.rect);
            EXPECT_EQ(rect.left, place.left);
            EXPECT_EQ(rect.top, place.top);
            EXPECT_EQ(rect.right, place.right);
            EXPECT_EQ(rect.bottom, place.bottom);
        }
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, TabOrderIsTheTableOrderAndSkipsDisabledButtons) {
    RunWindow([this] {
        std::vector<int> tabStops;
        std::vector<int> enabledTabStops;
        for (const ui::ControlTemplate& control : ui::MainDialogTemplate().controls) {
            if (!(control.styles & ui::STYLE_TABSTOP)) continue;
            tabStops.push_back(control.id);
            if (!(control.styles & ui::STYLE_DISABLED)) enabledTabStops.push_back(control.id);
        }
        const auto walk = [this](std::size_t count) {
            std::vector<int> order;
            HWND at = Item(scale::IDC_EXIT);
            for (std::size_t i = 0; i < count && at; ++i) {
                order.push_back(::GetDlgCtrlID(at));
                at = ::GetNextDlgTabItem(Window(), at, FALSE);
            }
            order.push_back(at ? ::GetDlgCtrlID(at) : 0);  // back to the start
            return order;
        };
        std::vector<int> expected = enabledTabStops;
        expected.push_back(scale::IDC_EXIT);
        EXPECT_EQ(walk(enabledTabStops.size()), expected);

        for (int id : tabStops) frontEnd_.EnableControl(id, true);
        expected = tabStops;
        expected.push_back(scale::IDC_EXIT);
        EXPECT_EQ(walk(tabStops.size()), expected);
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, FocusStartsOnExitAndNoButtonIsTheDefault) {
    RunWindow([this] {
        EXPECT_EQ(::GetFocus(), Item(scale::IDC_EXIT));
        // Away from the buttons no button is the default, so Enter in a
        // field is the window's accept command.
        frontEnd_.FocusControl(scale::IDC_REFERENCE_WEIGHT);
        for (const ui::ControlTemplate& control : ui::MainDialogTemplate().controls) {
            if (control.kind != ui::ControlKind::PushButton) continue;
            EXPECT_NE(::GetWindowLongW(Item(control.id), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON)
                << control.text;
        }
        Close(ModalResult::Cancel);
    });
}

// --- services ---------------------------------------------------------------

TEST_F(Win32FrontEndTest, ControlTextsKeepTheirAccents) {
    RunWindow([this] {
        frontEnd_.SetControlText(scale::IDC_STATE, "Configuración ñÑ ü €");
        EXPECT_EQ(WindowText(Item(scale::IDC_STATE)), L"Configuraci\u00f3n \u00f1\u00d1 \u00fc \u20ac");
        EXPECT_EQ(frontEnd_.GetControlText(scale::IDC_STATE), "Configuración ñÑ ü €");

        ::SetWindowTextW(Item(scale::IDC_REFERENCE_WEIGHT), L"Peso Patr\u00f3n");
        EXPECT_EQ(frontEnd_.GetControlText(scale::IDC_REFERENCE_WEIGHT), "Peso Patrón");

        frontEnd_.SetControlText(scale::IDC_STATE, "");
        EXPECT_EQ(frontEnd_.GetControlText(scale::IDC_STATE), "");
        EXPECT_EQ(frontEnd_.GetControlText(4242), "") << "no such control";
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, EnableControlSwitchesTheLiveControl) {
    RunWindow([this] {
        EXPECT_FALSE(frontEnd_.IsControlEnabled(scale::IDC_START_WORK));
        frontEnd_.EnableControl(scale::IDC_START_WORK, true);
        EXPECT_TRUE(::IsWindowEnabled(Item(scale::IDC_START_WORK)));
        EXPECT_TRUE(frontEnd_.IsControlEnabled(scale::IDC_START_WORK));
        frontEnd_.EnableControl(scale::IDC_CALIBRATE, false);
        EXPECT_FALSE(::IsWindowEnabled(Item(scale::IDC_CALIBRATE)));
        EXPECT_FALSE(frontEnd_.IsControlEnabled(scale::IDC_CALIBRATE));
        EXPECT_FALSE(frontEnd_.IsControlEnabled(4242));
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, FocusControlSelectsTheWholeField) {
    RunWindow([this] {
        frontEnd_.SetControlText(scale::IDC_REFERENCE_WEIGHT, "100");
        frontEnd_.FocusControl(scale::IDC_REFERENCE_WEIGHT);
        EXPECT_EQ(::GetFocus(), Item(scale::IDC_REFERENCE_WEIGHT));
        DWORD start = 99, end = 99;
        ::SendMessageW(Item(scale::IDC_REFERENCE_WEIGHT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 3u);
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, FocusGivenDuringInitializationIsKept) {
    events_.onInitialize = [this] { frontEnd_.FocusControl(scale::LIMIT_FIELD_IDS[2]); };
    RunWindow([this] {
        EXPECT_EQ(::GetFocus(), Item(scale::LIMIT_FIELD_IDS[2]));
        Close(ModalResult::Cancel);
    });
}

TEST_F(Win32FrontEndTest, MessageBoxesShowTextCaptionIconAndButtons) {
    std::vector<MessageResult> answers;
    RunWindow([&] {
        answers.push_back(frontEnd_.ShowMessage("No hay dispositivos USB conectados!", "Quelmar", MessageIcon::Stop,
                                                MessageButtons::Ok));
        answers.push_back(frontEnd_.ShowMessage("¿Está seguro?", "Estadísticas", MessageIcon::Exclamation,
                                                MessageButtons::OkCancel));
        answers.push_back(frontEnd_.ShowMessage("Calibración terminada", "", MessageIcon::Information,
                                                MessageButtons::Ok));
        answers.push_back(frontEnd_.ShowMessage("Sin icono", "Quelmar", MessageIcon::None, MessageButtons::Ok));
        Close(ModalResult::Cancel);
    });
    ASSERT_EQ(boxes_.size(), 4u);
    EXPECT_EQ(boxes_[0].text, L"No hay dispositivos USB conectados!");
    EXPECT_EQ(boxes_[0].caption, L"Quelmar");
    EXPECT_EQ(boxes_[0].icon, BoxIcon::Stop);
    EXPECT_TRUE(boxes_[0].hasOk);
    EXPECT_FALSE(boxes_[0].hasCancel);
    EXPECT_NE(boxes_[0].owner, nullptr) << "a box over the main window";

    EXPECT_EQ(boxes_[1].text, L"\u00bfEst\u00e1 seguro?");
    EXPECT_EQ(boxes_[1].caption, L"Estad\u00edsticas");
    EXPECT_EQ(boxes_[1].icon, BoxIcon::Exclamation);
    EXPECT_TRUE(boxes_[1].hasCancel);

    // No caption of its own: the program file's name without extension.
    EXPECT_EQ(boxes_[2].caption, L"Win32FrontEndTest");
    EXPECT_EQ(boxes_[2].icon, BoxIcon::Information);
    EXPECT_EQ(boxes_[3].icon, BoxIcon::None);
    EXPECT_EQ(answers, (std::vector<MessageResult>(4, MessageResult::Ok)));
}

TEST_F(Win32FrontEndTest, CancelAndEscapeAnswerCancel) {
    std::vector<MessageResult> answers;
    int box = 0;
    watcher_.SetHandler([&](HWND window) {
        if (!IsMessageBox(window)) return;
        if (box++ == 0) {
            Answer(window, IDCANCEL);
        } else {
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        }
    });
    RunWindow([&] {
        answers.push_back(frontEnd_.ShowMessage("Uno", "Quelmar", MessageIcon::Exclamation, MessageButtons::OkCancel));
        answers.push_back(frontEnd_.ShowMessage("Dos", "Quelmar", MessageIcon::Exclamation, MessageButtons::OkCancel));
        Close(ModalResult::Cancel);
    });
    EXPECT_EQ(answers, (std::vector<MessageResult>{MessageResult::Cancel, MessageResult::Cancel}));
}

TEST_F(Win32FrontEndTest, ApplicationNameIsTheProgramFileWithoutExtension) {
    EXPECT_EQ(Win32FrontEnd::ApplicationName(), "Win32FrontEndTest");
}

TEST_F(Win32FrontEndTest, LocalTimeIsTheSystemClock) {
    // Read until the system clock did not move across the call.
    for (int attempt = 0; attempt < 5; ++attempt) {
        SYSTEMTIME before, after;
        ::GetLocalTime(&before);
        const platform::LocalDateTime now = frontEnd_.LocalTime();
        ::GetLocalTime(&after);
        if (before.wSecond != after.wSecond || before.wMinute != after.wMinute) continue;
        EXPECT_EQ(now.year, after.wYear);
        EXPECT_EQ(now.month, after.wMonth);
        EXPECT_EQ(now.day, after.wDay);
        EXPECT_EQ(now.hour, after.wHour);
        EXPECT_EQ(now.minute, after.wMinute);
        EXPECT_EQ(now.second, after.wSecond);
        EXPECT_EQ(now.dayOfWeek, after.wDayOfWeek);
        return;
    }
    ADD_FAILURE() << "the clock never held still";
}

// --- events -----------------------------------------------------------------

TEST_F(Win32FrontEndTest, ButtonClicksAndEditChangesReachTheLogic) {
    ScriptEndsLater();
    RunWindow([this] {
        ASSERT_TRUE(ClickIfEnabled(Item(scale::IDC_START_TEST)));
        EXPECT_FALSE(ClickIfEnabled(Item(scale::IDC_STOP_TEST))) << "disabled at start";
        ::SendMessageW(Item(scale::LIMIT_FIELD_IDS[1]), WM_CHAR, L'5', 0);
        Later([this] {
            EXPECT_TRUE(Logged(events_, "command 1040"));
            EXPECT_FALSE(Logged(events_, "command 1041"));
            EXPECT_TRUE(Logged(events_, "change 1010"));
            EXPECT_EQ(frontEnd_.GetControlText(scale::LIMIT_FIELD_IDS[1]), "5");
            Close(ModalResult::Cancel);
        });
    });
}

TEST_F(Win32FrontEndTest, EnterAndEscapeGoToTheLogicAndDoNotEndTheWindow) {
    ScriptEndsLater();
    RunWindow([this] {
        frontEnd_.FocusControl(scale::LIMIT_FIELD_IDS[0]);
        ::PostMessageW(Item(scale::LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(Item(scale::LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_ESCAPE, 0);
        Later([this] {
            EXPECT_EQ(events_.accepts, 1);
            EXPECT_EQ(events_.cancels, 1);
            EXPECT_TRUE(::IsWindowVisible(Window())) << "the logic decides, and this one did nothing";
            // Enter on a push button presses that button instead.
            frontEnd_.FocusControl(scale::IDC_START_TEST);
            ::PostMessageW(Item(scale::IDC_START_TEST), WM_KEYDOWN, VK_RETURN, 0);
            Later([this] {
                EXPECT_TRUE(Logged(events_, "command 1040"));
                EXPECT_EQ(events_.accepts, 1);
                Close(ModalResult::Cancel);
            });
        });
    });
}

TEST_F(Win32FrontEndTest, CloseBoxAndSystemMenuCloseReachOnClose) {
    events_.onClose = [this] { Close(ModalResult::Cancel); };
    ScriptEndsLater();
    const ModalResult result = RunWindow([this] {
        // The system menu's close item: not handled by the logic, so the
        // default handling turns it into the close request.
        ::PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(result, ModalResult::Cancel);
    EXPECT_TRUE(Logged(events_, "syscommand " + std::to_string(SC_CLOSE)));
    EXPECT_TRUE(Logged(events_, "close"));
    EXPECT_EQ(events_.cancels, 0) << "closing is not the Escape key";
}

TEST_F(Win32FrontEndTest, SystemMenuEndsWithTheAboutItemAndOpensTheAboutBox) {
    HWND about = nullptr;
    std::wstring aboutCaption, aboutText, okText;
    bool okIsDefault = false, textHasNoPrefix = false, iconShown = false;
    LOGFONTW aboutFont{};
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window()) return;
        about = window;
        aboutCaption = WindowText(window);
        for (HWND child : Children(window)) {
            const LONG style = ::GetWindowLongW(child, GWL_STYLE);
            if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0) {
                if ((style & SS_TYPEMASK) == SS_ICON) {
                    iconShown = ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
                } else {
                    aboutText = WindowText(child);
                    textHasNoPrefix = (style & SS_NOPREFIX) != 0;
                }
            }
        }
        const HWND ok = ::GetDlgItem(window, IDOK);
        okText = WindowText(ok);
        okIsDefault = (::GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof aboutFont,
                     &aboutFont);
        EXPECT_TRUE(ClickIfEnabled(ok));
    });
    events_.onInitialize = [this] { frontEnd_.AppendSystemMenuItem(scale::SYSMENU_ABOUT_ID, "&Acerca de quelmar..."); };
    events_.onSysCommand = [this](int id) {
        if (id != scale::SYSMENU_ABOUT_ID) return false;
        frontEnd_.RunAboutBox();
        return true;
    };
    RunWindow([this] {
        const HMENU menu = ::GetSystemMenu(Window(), FALSE);
        ASSERT_NE(menu, nullptr);
        const int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        MENUITEMINFOW separator{};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        ASSERT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(count - 2), TRUE, &separator));
        EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, L"&Acerca de quelmar...");
        EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(scale::SYSMENU_ABOUT_ID));
        // The low four bits of a system command are the system's own.
        ::SendMessageW(Window(), WM_SYSCOMMAND, scale::SYSMENU_ABOUT_ID | 0x3, 0);
        Close(ModalResult::Cancel);
    });
    ASSERT_NE(about, nullptr) << "no About box appeared";
    EXPECT_TRUE(Logged(events_, "syscommand 16"));
    EXPECT_EQ(frontEnd_.LastAboutBoxResult(), IDOK);
    EXPECT_EQ(aboutCaption, L"Acerca de Quelmar");
    EXPECT_EQ(aboutText, L"Quelmar Versi\u00f3n 1.0");
    EXPECT_TRUE(textHasNoPrefix);
    EXPECT_TRUE(iconShown);
    EXPECT_EQ(okText, L"Aceptar");
    EXPECT_TRUE(okIsDefault);
    EXPECT_STREQ(aboutFont.lfFaceName, L"MS Sans Serif");
}

// --- timers -----------------------------------------------------------------

TEST_F(Win32FrontEndTest, TimerTicksKeepComingWhileAMessageBoxIsOpen) {
    HWND box = nullptr;
    int ticksDuringBox = 0;
    bool answered = false;
    watcher_.SetHandler([&](HWND window) {
        if (IsMessageBox(window)) box = window;  // left open: the ticks answer it
    });
    events_.onTimer = [&](int id) {
        if (id != scale::TIMER_WORK || box == nullptr || answered) return;
        if (++ticksDuringBox == 3) {
            answered = true;
            Answer(box, IDOK);
        }
    };
    RunWindow([&] {
        frontEnd_.StartTimer(scale::TIMER_WORK, 10);
        EXPECT_EQ(frontEnd_.ShowMessage("¿Desea resetear las estadísticas?", "Quelmar", MessageIcon::Exclamation,
                                        MessageButtons::OkCancel),
                  MessageResult::Ok);
        frontEnd_.StopTimer(scale::TIMER_WORK);
        frontEnd_.StopTimer(scale::TIMER_TEST);  // not running: nothing happens
        Close(ModalResult::Cancel);
    });
    EXPECT_EQ(ticksDuringBox, 3);
    EXPECT_EQ(events_.deepestTimer, 1);
}

TEST_F(Win32FrontEndTest, ATickIsNeverHandledInsideAnother) {
    int handled = 0;
    events_.onTimer = [&](int id) {
        ++handled;
        if (handled == 1) {
            // A tick falls due while this one shows a box: the box's modal
            // loop pumps it, and it must not run inside this handler.
            ::PostMessageW(Window(), WM_TIMER, static_cast<WPARAM>(id), 0);
            frontEnd_.ShowMessage("Dentro del tick", "Quelmar", MessageIcon::Information, MessageButtons::Ok);
        }
    };
    ScriptEndsLater();
    RunWindow([&] {
        ::PostMessageW(Window(), WM_TIMER, scale::TIMER_TEST, 0);
        Later([&] {
            EXPECT_EQ(boxes_.size(), 1u) << "the first tick's box ran";
            EXPECT_EQ(handled, 1);
            EXPECT_EQ(frontEnd_.DroppedTimerTicks(), 1u);
            // Once the first tick is over, ticks are handled again.
            ::PostMessageW(Window(), WM_TIMER, scale::TIMER_TEST, 0);
            Later([&] {
                EXPECT_EQ(handled, 2);
                Close(ModalResult::Cancel);
            });
        });
    });
    EXPECT_EQ(events_.deepestTimer, 1);
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

    platform::FileDialogSettings Settings(platform::FileDialogKind kind) const {
        platform::FileDialogSettings settings;
        settings.kind = kind;
        settings.initialFolder = ui::win32::Utf16ToUtf8(folder_);
        settings.filters = {{"Archivos Estadística(*.est)", "*.est"}, {"Todos(*.*)", "*.*"}};
        settings.defaultExtension = ".est";
        return settings;
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
    std::optional<std::string> chosen = "unset";
    bool dialogSeen = false;
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window() || IsMessageBox(window)) return;
        dialogSeen = true;
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    RunWindow([&] {
        chosen = frontEnd_.ChooseFile(Settings(platform::FileDialogKind::Open));
        Close(ModalResult::Cancel);
    });
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(chosen, std::nullopt);
}

TEST_F(Win32FileDialogTest, SaveAddsTheDefaultExtensionInTheInitialFolder) {
    std::optional<std::string> chosen;
    int filterIndex = -1;
    bool readOnlyVisible = true;
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window() || IsMessageBox(window)) return;
        // Read once the dialog has finished setting itself up.
        Later([&, window] {
            filterIndex = static_cast<int>(::SendMessageW(::GetDlgItem(window, cmb1), CB_GETCURSEL, 0, 0));
            const HWND readOnly = ::GetDlgItem(window, chx1);
            readOnlyVisible = readOnly != nullptr && ::IsWindowVisible(readOnly);
            TypeNameAndAccept(window, L"informe");
        });
    });
    RunWindow([&] {
        chosen = frontEnd_.ChooseFile(Settings(platform::FileDialogKind::Save));
        Close(ModalResult::Cancel);
    });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(_wcsicmp(Utf8ToUtf16(*chosen).c_str(), (folder_ + L"informe.est").c_str()), 0) << *chosen;
    EXPECT_EQ(filterIndex, 0) << "the first filter is selected";
    EXPECT_FALSE(readOnlyVisible);
}

TEST_F(Win32FileDialogTest, SaveOverAnExistingFileAsksFirst) {
    const HANDLE file = ::CreateFileW((folder_ + L"existe.est").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    std::optional<std::string> chosen;
    int questions = 0;
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window()) return;
        if (::GetDlgItem(window, IDYES) != nullptr && ::GetDlgItem(window, IDNO) != nullptr) {
            ++questions;
            Answer(window, IDYES);
        } else if (!IsMessageBox(window)) {
            TypeNameAndAccept(window, L"existe");
        }
    });
    RunWindow([&] {
        chosen = frontEnd_.ChooseFile(Settings(platform::FileDialogKind::Save));
        Close(ModalResult::Cancel);
    });
    EXPECT_EQ(questions, 1);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(_wcsicmp(Utf8ToUtf16(*chosen).c_str(), (folder_ + L"existe.est").c_str()), 0) << *chosen;
}

}  // namespace
