// The Win32 windows for real, in-process and headless under Wine (its null
// display driver): the inventory of the windows built from the layout table,
// the flows of the front-end's services with a scripted logic, and the whole
// program on its window. Windows are caught by a CBT hook as they are
// activated, and steps run from the modal loop.
#include "ui/win32/Win32FrontEnd.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <winver.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/quelmar.h"
#include "platform/ControlIds.h"
#include "tests/support/ProgramBoxes.h"
#include "ui/DialogLayout.h"
#include "ui/win32/SimulatorWindow.h"
#include "ui/win32/TextConversion.h"

namespace {

using namespace platform;
using namespace testing_support::boxes;
using testing_support::MessageRecord;
using ui::ControlKind;
using ui::win32::Utf16ToUtf8;
using ui::win32::Utf8ToUtf16;

// --- automation -----------------------------------------------------------------

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

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::max(0, ::GetWindowTextW(window, text.data(), text.size()))));
    return text;
}

bool HasClass(HWND window, const wchar_t* name) {
    wchar_t actual[256] = {};
    ::GetClassNameW(window, actual, 256);
    return _wcsicmp(actual, name) == 0;
}

bool IsDialogClass(HWND window) { return HasClass(window, L"#32770"); }

bool IsIconStatic(HWND child) {
    return HasClass(child, L"Static") && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

// The children of a window in creation order.
std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A message box: a dialog with the message text control 0xFFFF, an OK button
// and no other statics than the text and its icon (unlike the About box).
bool IsMessageBox(HWND window) {
    if (!IsDialogClass(window) || ::GetDlgItem(window, IDOK) == nullptr) return false;
    const HWND text = ::GetDlgItem(window, 0xFFFF);
    if (text == nullptr || IsIconStatic(text)) return false;
    const std::vector<HWND> children = Children(window);
    return std::count_if(children.begin(), children.end(),
                         [](HWND child) { return HasClass(child, L"Static") && !IsIconStatic(child); }) == 1;
}

// Text, caption, icon and buttons of a live box, as the program's tests write boxes.
MessageRecord ReadMessageBox(HWND box) {
    MessageRecord view{Utf16ToUtf8(WindowText(::GetDlgItem(box, 0xFFFF))), Utf16ToUtf8(WindowText(box)),
                       MessageIcon::None, ::GetDlgItem(box, IDCANCEL) ? MessageButtons::OkCancel : MessageButtons::Ok};
    const std::map<HICON, MessageIcon> icons = {
        {nullptr, MessageIcon::None},
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
void Answer(HWND box, int buttonId) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, buttonId)));
}

// Clicks a button as the operator would: only when it is enabled.
bool ClickIfEnabled(HWND button) {
    return button != nullptr && ::IsWindowEnabled(button) && ::PostMessageW(button, BM_CLICK, 0, 0);
}

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Steps run from the thread's message loop once the messages posted so far
// have been handled: one-shot thread timers, which come after everything else.
std::map<UINT_PTR, std::function<void()>> pendingSteps;

void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    const auto found = pendingSteps.find(id);
    if (found == pendingSteps.end()) return;
    const std::function<void()> step = std::move(found->second);
    pendingSteps.erase(found);
    step();
}

void Later(std::function<void()> step) {
    pendingSteps[::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, RunStep)] = std::move(step);
}

// Drops the steps not run yet, so that none runs in the next test's window.
void CancelPendingSteps() {
    for (const auto& [id, step] : pendingSteps) ::KillTimer(nullptr, id);
    pendingSteps.clear();
}

// --- the front-end with a scripted logic ------------------------------------------

// The window's logic as a script: events are logged and handed to hooks.
class ScriptedEvents final : public ui::DialogEvents {
public:
    std::function<void()> onInitialize = [] {};
    std::function<void(int)> onCommand = [](int) {}, onTimer = [](int) {};
    std::function<bool(int)> onSysCommand = [](int) { return false; };
    std::vector<std::string> log;

    long Count(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }
    void InitializeWindow() override { onInitialize(); }
    void OnCommand(int id) override {
        log.push_back("command " + std::to_string(id));
        onCommand(id);
    }
    void OnEditChange(int id) override { log.push_back("change " + std::to_string(id)); }
    void OnTimer(int id) override { onTimer(id); }
    bool OnSysCommand(int id) override { return onSysCommand(id); }
    void OnAccept() override { log.push_back("accept"); }
    void OnCancel() override { log.push_back("cancel"); }
    void OnClose() override { log.push_back("close"); }
};

class Win32FrontEndTest : public ::testing::Test {
protected:
    // Runs the main window; `script` runs from its modal loop once it is up.
    // The window ends when the script (or a later step) calls Close().
    ModalResult RunWindow(std::function<void()> script) {
        Later(std::move(script));
        const ModalResult result = frontEnd_.RunModal(events_);
        CancelPendingSteps();
        EXPECT_NE(frontEnd_.LastDialogBoxResult(), -1) << "the main window was not created";
        EXPECT_TRUE(closed_) << "the window ended by itself";
        return result;
    }
    void Close(ModalResult result = ModalResult::Cancel) {
        closed_ = true;
        frontEnd_.CloseModal(result);
    }
    HWND Window() const { return static_cast<HWND>(frontEnd_.WindowHandle()); }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }
    std::pair<DWORD, DWORD> Selection(int field) const {
        DWORD start = 0, end = 0;
        ::SendMessageW(Item(field), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }

    ui::win32::Win32FrontEnd frontEnd_;
    ScriptedEvents events_;
    bool closed_ = false;
    WindowWatcher watcher_{[](HWND) {}};
};

// --- the inventory ------------------------------------------------------------

// A template rectangle in the live window's pixels; position and size are
// converted each on its own, as the dialog manager does.
RECT DialogUnits(HWND window, const ui::Rect& units) {
    RECT r{units.x, units.y, units.cx, units.cy};
    ::MapDialogRect(window, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

// Each control of the layout, read back from the live window: id, class and
// type, text, place, styles, enabled state and creation order; then the
// window's own caption, frame, size and font.
void ExpectInventory(HWND window, const ui::DialogTemplate& layout) {
    struct Kind {
        const wchar_t* className;
        LONG typeMask, type;
    };
    static const std::map<ControlKind, Kind> KINDS = {
        {ControlKind::PushButton, {L"Button", BS_TYPEMASK, BS_PUSHBUTTON}},
        {ControlKind::DefaultPushButton, {L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON}},
        {ControlKind::GroupBox, {L"Button", BS_TYPEMASK, BS_GROUPBOX}},
        {ControlKind::Edit, {L"Edit", 0, 0}},
        {ControlKind::Static, {L"Static", 0, 0}},
        {ControlKind::Icon, {L"Static", SS_TYPEMASK, SS_ICON}},
    };
    // Edits and statics share bit values: a flag of one kind is looked at on that kind only.
    struct Flag {
        unsigned layout;
        bool extended;
        LONG bit;
        std::optional<ControlKind> only;
    };
    static const Flag FLAGS[] = {
        {ui::STYLE_TABSTOP, false, WS_TABSTOP, {}},
        {ui::STYLE_GROUP, false, WS_GROUP, {}},
        {ui::STYLE_RIGHT, false, ES_RIGHT, ControlKind::Edit},
        {ui::STYLE_AUTOHSCROLL, false, ES_AUTOHSCROLL, ControlKind::Edit},
        {ui::STYLE_CENTER_VERTICAL, false, SS_CENTERIMAGE, ControlKind::Static},
        {ui::STYLE_NO_PREFIX, false, SS_NOPREFIX, ControlKind::Static},
        {ui::STYLE_THIN_SUNKEN, true, WS_EX_STATICEDGE, {}},
        {ui::STYLE_CLIENT_EDGE, true, WS_EX_CLIENTEDGE, ControlKind::Static},  // a bordered edit gets it too
    };
    const std::vector<HWND> children = Children(window);
    ASSERT_EQ(children.size(), layout.controls.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ui::ControlTemplate& expected = layout.controls[i];
        const HWND child = children[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + std::string(expected.text) + "\"");
        const LONG style = ::GetWindowLongW(child, GWL_STYLE), exStyle = ::GetWindowLongW(child, GWL_EXSTYLE);
        EXPECT_EQ(static_cast<WORD>(::GetDlgCtrlID(child)), static_cast<WORD>(expected.id));
        const Kind& kind = KINDS.at(expected.kind);
        EXPECT_TRUE(HasClass(child, kind.className));
        EXPECT_EQ(style & kind.typeMask, kind.type);
        if (expected.kind == ControlKind::Static) {
            EXPECT_EQ((style & SS_TYPEMASK) == SS_CENTER, (expected.styles & ui::STYLE_CENTER) != 0);
        }
        if (expected.styles & ui::STYLE_BORDER) {
            EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
        }
        for (const Flag& flag : FLAGS) {
            if (flag.only && *flag.only != expected.kind) continue;
            EXPECT_EQ(((flag.extended ? exStyle : style) & flag.bit) != 0, (expected.styles & flag.layout) != 0)
                << "style " << flag.layout;
        }
        if (expected.kind != ControlKind::Icon) {
            EXPECT_EQ(WindowText(child), Utf8ToUtf16(expected.text));
        }
        EXPECT_TRUE(style & WS_VISIBLE);  // the About box is not on screen yet when it is read
        EXPECT_EQ(::IsWindowEnabled(child) != FALSE, !(expected.styles & ui::STYLE_DISABLED));
        const RECT rect = ChildRect(child), place = DialogUnits(window, expected.rect);
        EXPECT_EQ(std::make_pair(rect.left, rect.top), std::make_pair(place.left, place.top));
        if (expected.kind != ControlKind::Icon) {  // an icon takes the size of its picture
            EXPECT_EQ(std::make_pair(rect.right, rect.bottom), std::make_pair(place.right, place.bottom));
        }
    }
    EXPECT_EQ(WindowText(window), Utf8ToUtf16(layout.caption));
    const LONG style = ::GetWindowLongW(window, GWL_STYLE), exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_THICKFRAME), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ((style & WS_MINIMIZEBOX) != 0, layout.minimizeBox);
    EXPECT_EQ((exStyle & WS_EX_APPWINDOW) != 0, layout.inTaskBar);
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
    RECT client;
    ::GetClientRect(window, &client);
    const RECT size = DialogUnits(window, {0, 0, layout.cx, layout.cy});
    EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(size.right, size.bottom));
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfFaceName, Utf8ToUtf16(layout.fontName));
    const HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(-font.lfHeight, ::MulDiv(layout.pointSize, ::GetDeviceCaps(screen, LOGPIXELSY), 72));
    ::ReleaseDC(nullptr, screen);
}

TEST_F(Win32FrontEndTest, TheWindowsAreTheirLayoutsWithTheAppIconAndTheAboutItem) {
    bool aboutSeen = false;
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window() || IsMessageBox(window)) return;
        aboutSeen = true;
        ExpectInventory(window, ui::AboutDialogTemplate());
        EXPECT_NE(::SendMessageW(Children(window).front(), STM_GETICON, 0, 0), 0) << "the app icon";
        EXPECT_EQ(::GetWindow(window, GW_OWNER), Window());
        EXPECT_TRUE(ClickIfEnabled(::GetDlgItem(window, IDOK)));
    });
    events_.onInitialize = [this] { frontEnd_.AppendSystemMenuItem(SYSMENU_ABOUT_ID, "&Acerca de quelmar..."); };
    events_.onSysCommand = [this](int id) {
        if (id != SYSMENU_ABOUT_ID) return false;
        frontEnd_.RunAboutBox();
        return true;
    };
    EXPECT_EQ(RunWindow([this] {
                  ExpectInventory(Window(), ui::MainDialogTemplate());
                  EXPECT_EQ(::GetWindow(Window(), GW_OWNER), nullptr);
                  EXPECT_EQ(frontEnd_.SimulatorWindowHandle(), nullptr) << "no simulator panel, no tool window";
                  EXPECT_EQ(::GetFocus(), Item(IDC_EXIT)) << "the first tab stop has the focus";
                  const auto large = reinterpret_cast<HICON>(::SendMessageW(Window(), WM_GETICON, ICON_BIG, 0));
                  EXPECT_NE(large, nullptr);
                  EXPECT_NE(::SendMessageW(Window(), WM_GETICON, ICON_SMALL, 0), 0);
                  EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(Window(), WM_QUERYDRAGICON, 0, 0)), large);
                  const HMENU menu = ::GetSystemMenu(Window(), FALSE);
                  const int count = ::GetMenuItemCount(menu);
                  wchar_t item[64] = {};
                  ::GetMenuStringW(menu, static_cast<UINT>(count - 1), item, 64, MF_BYPOSITION);
                  EXPECT_STREQ(item, L"&Acerca de quelmar...");
                  EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(SYSMENU_ABOUT_ID));
                  EXPECT_EQ(::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR,
                            static_cast<UINT>(MF_SEPARATOR));
                  // The low four bits of a system command are the system's own.
                  ::SendMessageW(Window(), WM_SYSCOMMAND, SYSMENU_ABOUT_ID | 0x3, 0);
                  Close(ModalResult::Ok);
              }),
              ModalResult::Ok);
    EXPECT_TRUE(aboutSeen);
    EXPECT_EQ(frontEnd_.LastAboutBoxResult(), IDOK);
}

// --- flows ----------------------------------------------------------------------

TEST_F(Win32FrontEndTest, EventsReachTheLogicAndOnlyTheLogicEndsTheWindow) {
    events_.onInitialize = [this] { frontEnd_.FocusControl(LIMIT_FIELD_IDS[2]); };
    RunWindow([this] {
        EXPECT_EQ(::GetFocus(), Item(LIMIT_FIELD_IDS[2])) << "focus set in initialisation is kept";
        ::SendMessageW(Item(LIMIT_FIELD_IDS[1]), WM_CHAR, L'5', 0);
        ASSERT_TRUE(ClickIfEnabled(Item(IDC_START_TEST)));
        EXPECT_FALSE(ClickIfEnabled(Item(IDC_STOP_TEST))) << "disabled at start";
        // Enter in a field is the accept command (no button is the default).
        ::PostMessageW(Item(LIMIT_FIELD_IDS[2]), WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(Item(LIMIT_FIELD_IDS[2]), WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Later([this] {
            EXPECT_EQ(events_.log,
                      (std::vector<std::string>{"change 1010", "command 1040", "accept", "cancel", "close"}));
            EXPECT_TRUE(::IsWindowVisible(Window())) << "the logic decides, and this one did nothing";
            EXPECT_EQ(frontEnd_.GetControlText(LIMIT_FIELD_IDS[1]), "5");
            Close();
        });
    });
}

TEST_F(Win32FrontEndTest, TextsKeepTheirAccentsAndAreWrittenOnlyWhenTheyChange) {
    RunWindow([this] {
        frontEnd_.SetControlText(IDC_STATE, "Configuración ñÑ ü €");
        EXPECT_EQ(WindowText(Item(IDC_STATE)), L"Configuraci\u00f3n \u00f1\u00d1 \u00fc \u20ac");
        EXPECT_EQ(frontEnd_.GetControlText(IDC_STATE), "Configuración ñÑ ü €");
        EXPECT_EQ(frontEnd_.GetControlText(4242), "") << "no such control";
        // What a tick's field exchange does: the same text again, and only a
        // change reaches the field (and its change notification).
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "250");
        ::SendMessageW(Item(LIMIT_FIELD_IDS[0]), EM_SETSEL, 1, 1);
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "250");
        EXPECT_EQ(Selection(LIMIT_FIELD_IDS[0]).first, 1u) << "the operator's caret stays where it was";
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "");
        EXPECT_EQ(events_.Count("change 1008"), 2) << "\"250\" once, and emptying is a change too";
        Close();
    });
}

// A mode button that disables itself when pressed hands the focus on to the
// next enabled tab stop, so that Tab and Space go on working.
TEST_F(Win32FrontEndTest, AButtonThatDisablesItselfHandsTheFocusOn) {
    events_.onCommand = [&](int id) {
        EXPECT_EQ(::GetFocus(), Item(id)) << "clicking gave the button the focus";
        frontEnd_.EnableControl(id, false);
    };
    RunWindow([&] {
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "250");
        frontEnd_.EnableControl(IDC_STOP_TEST, true);
        for (const auto& [pressed, next] :
             {std::pair{IDC_START_TEST, IDC_STOP_TEST}, {IDC_STOP_TEST, LIMIT_FIELD_IDS[0]}}) {
            ::SendMessageW(Item(pressed), BM_CLICK, 0, 0);
            EXPECT_FALSE(frontEnd_.IsControlEnabled(pressed));
            EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), next) << "pressed " << pressed;
        }
        EXPECT_EQ(Selection(LIMIT_FIELD_IDS[0]), std::make_pair(DWORD{3}, DWORD{3}))
            << "reached this way: no selection";
        frontEnd_.FocusControl(LIMIT_FIELD_IDS[0]);
        EXPECT_EQ(Selection(LIMIT_FIELD_IDS[0]), std::make_pair(DWORD{0}, DWORD{3})) << "focused on purpose: selected";
        // A control disabled while another has the focus leaves it there.
        frontEnd_.FocusControl(IDC_EXIT);
        frontEnd_.EnableControl(IDC_CALIBRATE, false);
        EXPECT_EQ(::GetFocus(), Item(IDC_EXIT));
        Close();
    });
}

TEST_F(Win32FrontEndTest, MessageBoxesShowTextCaptionIconAndButtonsWhileTicksGoOn) {
    struct Row {
        MessageRecord asked;
        int answer;  // 0: the Escape key; -1: the third tick answers IDCANCEL
        MessageResult result;
    };
    // clang-format off
    const Row rows[] = {
        {{"Sin dispositivos USB", "Quelmar", MessageIcon::Stop, MessageButtons::Ok}, IDOK, MessageResult::Ok},
        {{"¿Está seguro?", "Estadísticas", MessageIcon::Exclamation, MessageButtons::OkCancel}, -1, MessageResult::Cancel},
        {{"Calibración terminada", "", MessageIcon::Information, MessageButtons::OkCancel}, 0, MessageResult::Cancel},
        {{"Sin icono", "Quelmar", MessageIcon::None, MessageButtons::Ok}, IDOK, MessageResult::Ok},
    };
    // clang-format on
    std::vector<MessageRecord> boxes, shown;
    for (const Row& row : rows) shown.push_back(row.asked);
    shown[2].caption = "Win32WindowTest";  // no caption: the program file's name
    HWND openBox = nullptr;
    watcher_.SetHandler([&](HWND window) {
        if (!IsMessageBox(window)) return;
        boxes.push_back(ReadMessageBox(window));
        EXPECT_EQ(::GetWindow(window, GW_OWNER), Window()) << "a box over the main window";
        const int answer = boxes.size() <= std::size(rows) ? rows[boxes.size() - 1].answer : IDOK;
        if (answer == -1) {
            openBox = window;
        } else if (answer == 0) {
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        } else {
            Answer(window, answer);
        }
    });
    int ticksDuringBox = 0;
    events_.onTimer = [&](int id) {
        if (id == TIMER_WORK && openBox != nullptr && ++ticksDuringBox == 3) {
            Answer(openBox, IDCANCEL);
            openBox = nullptr;
        }
    };
    RunWindow([&] {
        frontEnd_.StartTimer(TIMER_WORK, 10);
        for (const Row& row : rows) {
            const MessageRecord& box = row.asked;
            EXPECT_EQ(frontEnd_.ShowMessage(box.text, box.caption, box.icon, box.buttons), row.result) << box.text;
        }
        frontEnd_.StopTimer(TIMER_WORK);
        Close();
    });
    EXPECT_EQ(boxes, shown);
    EXPECT_EQ(ticksDuringBox, 3) << "the timer's ticks went on while a box was open";
}

TEST_F(Win32FrontEndTest, LocalTimeIsTheSystemClock) {
    SYSTEMTIME before, after;
    LocalDateTime now;
    do {  // until the clock held still across the call
        ::GetLocalTime(&before);
        now = frontEnd_.LocalTime();
        ::GetLocalTime(&after);
    } while (before.wSecond != after.wSecond);
    EXPECT_EQ(std::vector<int>({now.year, now.month, now.day, now.hour, now.minute, now.second, now.dayOfWeek}),
              std::vector<int>({after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond,
                                after.wDayOfWeek}));
}

// Stands in for the simulated scale: its state is the keys it was given.
class FakePanel final : public ui::SimulatorPanel {
public:
    std::string StatusLine() const override { return "teclas: " + std::to_string(keys.size()); }
    bool HandleKey(int key) override {
        keys.push_back(key);
        return true;
    }
    std::vector<int> keys;
};

// Where the tool window is, what it shows, and that it takes nothing from the main window.
TEST_F(Win32FrontEndTest, TheSimulatorToolWindowStandsBesideTheWindowWithoutTakingTheFocus) {
    FakePanel panel;
    frontEnd_.SetSimulatorPanel(&panel);
    const auto tool = [this] { return static_cast<HWND>(frontEnd_.SimulatorWindowHandle()); };
    const auto toolItem = [&](int id) { return ::GetDlgItem(tool(), id); };
    RunWindow([&] {
        ASSERT_NE(tool(), nullptr);
        EXPECT_TRUE(::IsWindowVisible(tool()));
        EXPECT_EQ(WindowText(tool()), L"Balanza simulada");
        EXPECT_EQ(::GetWindow(tool(), GW_OWNER), Window());
        EXPECT_TRUE(::GetWindowLongW(tool(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        EXPECT_EQ(::GetActiveWindow(), Window()) << "showing it took nothing from the main window";
        EXPECT_EQ(WindowText(toolItem(ui::win32::IDC_SIMULATOR_STATE)), L"teclas: 0");
        std::vector<std::wstring> buttons;
        for (int id :
             {ui::win32::IDC_SIMULATOR_REFERENCE, ui::win32::IDC_SIMULATOR_PAUSE, ui::win32::IDC_SIMULATOR_UNPLUG}) {
            buttons.push_back(WindowText(toolItem(id)));
            ::SendMessageW(toolItem(id), BM_CLICK, 0, 0);
        }
        EXPECT_EQ(buttons, (std::vector<std::wstring>{L"Peso patr\u00f3n", L"Pausa", L"Desconectar"}));
        EXPECT_EQ(WindowText(toolItem(ui::win32::IDC_SIMULATOR_STATE)), L"teclas: 3") << "refreshed at once";
        EXPECT_FALSE(::IsWindowEnabled(toolItem(ui::win32::IDC_SIMULATOR_UNPLUG))) << "no plugging in again";
        RECT main, beside;
        ::GetWindowRect(Window(), &main);
        ::GetWindowRect(tool(), &beside);
        EXPECT_GE(beside.left, main.right) << "beside the main window, not over it";
        EXPECT_EQ(beside.top, main.top);
        Close();
    });
    EXPECT_EQ(panel.keys, (std::vector<int>{ui::PANEL_KEY_F2, ui::PANEL_KEY_F3, ui::PANEL_KEY_F4}));
    EXPECT_EQ(frontEnd_.SimulatorWindowHandle(), nullptr) << "gone with the main window";
}

// Save dialogs on a folder of the test's own: cancelled, a name without its
// extension, and a name that exists (asked first).
TEST_F(Win32FrontEndTest, FileDialogsOpenInTheFolderAddTheExtensionAndAskBeforeOverwriting) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"quelmar-dialog-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring existing = folder + L"\\existe.est";
    ::CloseHandle(::CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const wchar_t* typed = nullptr;  // null: cancel the dialog
    int questions = 0, firstFilter = -1;
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window()) return;
        if (::GetDlgItem(window, IDYES) != nullptr && ::GetDlgItem(window, IDNO) != nullptr) {
            ++questions;
            Answer(window, IDYES);
            return;
        }
        Later([&, window] {  // once the dialog has finished setting itself up
            firstFilter = static_cast<int>(::SendMessageW(::GetDlgItem(window, cmb1), CB_GETCURSEL, 0, 0));
            HWND field = ::GetDlgItem(window, cmb13);
            if (field == nullptr) field = ::GetDlgItem(window, edt1);
            if (typed != nullptr) ::SetWindowTextW(field, typed);
            ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(typed ? IDOK : IDCANCEL, BN_CLICKED), 0);
        });
    });
    std::vector<std::optional<std::string>> chosen;
    RunWindow([&] {
        FileDialogSettings settings;
        settings.kind = FileDialogKind::Save;
        settings.initialFolder = ui::win32::Utf16ToUtf8(folder);
        settings.filters = {{"Archivos Estadística(*.est)", "*.est"}, {"Todos(*.*)", "*.*"}};
        settings.defaultExtension = ".est";
        for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"informe", L"existe"}) {
            typed = name;
            chosen.push_back(frontEnd_.ChooseFile(settings));
        }
        Close();
    });
    ::DeleteFileW(existing.c_str());
    ::RemoveDirectoryW(folder.c_str());
    ASSERT_EQ(chosen.size(), 3u);
    EXPECT_EQ(chosen[0], std::nullopt) << "cancelled";
    const auto inFolder = [&](const std::optional<std::string>& path, const wchar_t* name) {
        return path && _wcsicmp(Utf8ToUtf16(*path).c_str(), (folder + L"\\" + name).c_str()) == 0;
    };
    EXPECT_TRUE(inFolder(chosen[1], L"informe.est")) << chosen[1].value_or("(none)");
    EXPECT_TRUE(inFolder(chosen[2], L"existe.est")) << chosen[2].value_or("(none)");
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(firstFilter, 0) << "the first filter is selected";
}

// --- the whole program ----------------------------------------------------------

class Win32ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CreateDirectoryW(L"C:\\velsor", nullptr);
        ::DeleteFileW(CALIBRATION_FILE);
    }
    void TearDown() override {
        CancelPendingSteps();
        ::DeleteFileW(CALIBRATION_FILE);
        ::RemoveDirectoryW(L"C:\\velsor");
    }

    // Runs the program with `arguments` and the front-end quelmar.exe gives
    // it; `script` runs once the main window is on screen and must end the
    // program through the window.
    int RunProgram(std::vector<std::string> arguments, std::function<void()> script) {
        arguments.insert(arguments.begin(), "quelmar");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        WindowWatcher watcher([this, script](HWND window) {
            if (frontEnd_ != nullptr && window == frontEnd_->WindowHandle()) {
                RunWhenShown(script);
            } else if (IsMessageBox(window)) {
                boxes_.push_back(ReadMessageBox(window));
                if (onMessageBox_) {
                    onMessageBox_(window);
                } else {
                    Answer(window, IDOK);
                }
            }
        });
        const int result = app::RunQuelmar(
            static_cast<int>(arguments.size()), argv.data(),
            [this](ui::SimulatorPanel* panel) -> std::unique_ptr<ui::FrontEnd> {
                auto frontEnd = std::make_unique<ui::win32::Win32FrontEnd>();
                frontEnd->SetSimulatorPanel(panel);
                frontEnd_ = frontEnd.get();
                return frontEnd;
            },
            /*simulateByDefault=*/false);
        CancelPendingSteps();
        frontEnd_ = nullptr;  // the program has destroyed it
        return result;
    }

    // The main window is activated (still hidden) when a box of its
    // initialisation closes: the script waits until it is on screen.
    void RunWhenShown(std::function<void()> script) {
        Later([this, script] {
            if (frontEnd_ == nullptr || Window() == nullptr) return;
            if (!::IsWindowVisible(Window())) return RunWhenShown(script);
            script();
        });
    }

    HWND Window() const { return static_cast<HWND>(frontEnd_->WindowHandle()); }
    HWND Tool() const { return static_cast<HWND>(frontEnd_->SimulatorWindowHandle()); }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }
    // Presses "&Salir", which no mode disables.
    void PressExit() { ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_EXIT))); }

    static constexpr const wchar_t* CALIBRATION_FILE = L"C:\\velsor\\usb.ini";
    ui::win32::Win32FrontEnd* frontEnd_ = nullptr;
    std::vector<MessageRecord> boxes_;
    std::function<void(HWND)> onMessageBox_;
};

TEST_F(Win32ProgramTest, WithoutAnyDeviceTheRealDriverPathReportsItAndEnds) {
    bool windowInitialising = false;
    onMessageBox_ = [&](HWND box) {
        windowInitialising = frontEnd_->WindowHandle() != nullptr;
        Answer(box, IDOK);
    };
    EXPECT_EQ(RunProgram({}, [] { ADD_FAILURE() << "the window must not be shown"; }), 0);
    EXPECT_TRUE(windowInitialising) << "the box comes from the window's initialisation";
    EXPECT_EQ(boxes_, std::vector<MessageRecord>{Stop("No hay dispositivos USB conectados!", "Quelmar")});
}

// A first start on the simulated scale (paused: it sends nothing by itself),
// with no calibration file: the operator calibrates, putting the weight on
// from the tool window while the box waits, and can then work.
TEST_F(Win32ProgramTest, AFirstStartCalibratesWithTheToolWindowsReferenceWeightAndReachesWorkMode) {
    bool toolUsableAtThePrompt = false;
    onMessageBox_ = [&](HWND box) {
        if (boxes_.back() == PUT_WEIGHT) {
            Later([&, box] {
                toolUsableAtThePrompt = !::IsWindowEnabled(Window()) && ::IsWindowEnabled(Tool());
                EXPECT_TRUE(ClickIfEnabled(::GetDlgItem(Tool(), ui::win32::IDC_SIMULATOR_REFERENCE)));
                Later([box] { Answer(box, IDOK); });
            });
            return;
        }
        Answer(box, IDOK);
        if (boxes_.size() < 5) return;
        Later([this] {  // once the calibration has ended, whichever way
            if (!ClickIfEnabled(Item(platform::IDC_START_WORK))) return PressExit();
            Later([this] {
                EXPECT_TRUE(::IsWindowEnabled(Item(platform::IDC_STOP_WORK))) << "in work mode";
                PressExit();
            });
        });
    };
    EXPECT_EQ(RunProgram({"--simulate", "--paused"},
                         [this] {
                             EXPECT_EQ(::GetFocus(), Item(platform::IDC_EXIT));
                             ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_CALIBRATE)));
                         }),
              0);
    EXPECT_TRUE(toolUsableAtThePrompt) << "the box disables the main window, not the tool window";
    EXPECT_EQ(boxes_, (std::vector<MessageRecord>{FOUND, CONFIGURATION_MISSING, CLEAR_SCALE, PUT_WEIGHT, CALIBRATED}));
    const HANDLE file = ::CreateFileW(CALIBRATION_FILE, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "the calibration was stored";
    EXPECT_EQ(::GetFileSize(file, nullptr), 20u);
    ::CloseHandle(file);
}

// The version resource linked into the program (the tests link it too), as
// Explorer reads it: the maker and the copyright in the Spanish block.
TEST(Win32ResourcesTest, TheVersionResourceNamesTheMakerInItsSpanishBlock) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<char> data(::GetFileVersionInfoSizeW(path, &ignored));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(data.size()), data.data()));
    const auto value = [&](const wchar_t* key) {
        void* found = nullptr;
        UINT length = 0;
        // Not found: two zero words, an empty text or an empty translation.
        return ::VerQueryValueW(data.data(), key, &found, &length) && length > 0 ? static_cast<const wchar_t*>(found)
                                                                                 : L"\0";
    };
    EXPECT_STREQ(value(L"\\StringFileInfo\\0C0A04B0\\CompanyName"), L"Proyecto Quelmar");
    EXPECT_STREQ(value(L"\\StringFileInfo\\0C0A04B0\\LegalCopyright"), L"\u00a9 2026 Proyecto Quelmar");
    const auto* translation = reinterpret_cast<const WORD*>(value(L"\\VarFileInfo\\Translation"));
    EXPECT_EQ(std::make_pair(translation[0], translation[1]), std::make_pair(WORD{0x0C0A}, WORD{1200}))
        << "Spanish (Spain, modern sort), UTF-16";
}

}  // namespace
