// The Win32 front-end's real windows under Wine, headless: their inventory, and its services' flows.
#include "ui/win32/Win32FrontEnd.h"

#include <gtest/gtest.h>

#include "tests/win32/WindowAutomation.h"

#include <dlgs.h>

#include <utility>

#include "ui/ControlIds.h"
#include "storage/StatisticsReport.h"
#include "ui/DialogLayout.h"
#include "ui/win32/ControlHelpers.h"
#include "ui/win32/SimulatorWindow.h"

namespace {

using namespace platform;
using namespace ui;
using namespace testing_support::boxes;
using namespace win32_testing;
using ui::ControlKind;
using ui::win32::Utf8ToUtf16;

// The window's logic as a script: events are logged and handed to hooks.
class ScriptedEvents final : public ui::DialogEvents {
public:
    std::function<void()> onInitialize = [] {};
    std::function<void(int)> onCommand = [](int) {}, onTimer = [](int) {};
    std::function<bool(int)> onSysCommand = [](int) { return false; };
    std::vector<std::string> log;

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
    // Runs the main window; `script` runs from its modal loop and ends it with Close(), at once or later.
    ModalResult RunWindow(std::function<void()> script) {
        Later(std::move(script));
        const ModalResult result = frontEnd_.RunModal(events_);
        CancelPendingSteps();
        EXPECT_TRUE(closed_) << "the window ended by itself (or was never created)";
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

// A template rectangle in pixels; position and size are converted each on its own, as the dialog manager does.
RECT DialogUnits(HWND window, const ui::Rect& units) {
    RECT r{units.x, units.y, units.cx, units.cy};
    ::MapDialogRect(window, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

// The layout read back from the live window: each control in creation order, then caption, frame, size and font.
void ExpectInventory(HWND window, const ui::DialogTemplate& layout) {
    // kind: class, type mask, type
    static const std::map<ControlKind, std::tuple<const wchar_t*, LONG, LONG>> KINDS = {
        {ControlKind::PushButton, {L"Button", BS_TYPEMASK, BS_PUSHBUTTON}},
        {ControlKind::DefaultPushButton, {L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON}},
        {ControlKind::GroupBox, {L"Button", BS_TYPEMASK, BS_GROUPBOX}},
        {ControlKind::Edit, {L"Edit", 0, 0}},
        {ControlKind::Static, {L"Static", 0, 0}},
        {ControlKind::Icon, {L"Static", SS_TYPEMASK, SS_ICON}},
    };
    // layout style, extended?, bit, the only kind it is looked at on (edits and statics share bit values)
    static const std::tuple<unsigned, bool, LONG, std::optional<ControlKind>> FLAGS[] = {
        {ui::STYLE_TABSTOP, false, WS_TABSTOP, {}},
        {ui::STYLE_GROUP, false, WS_GROUP, {}},
        {ui::STYLE_RIGHT, false, ES_RIGHT, ControlKind::Edit},
        {ui::STYLE_AUTOHSCROLL, false, ES_AUTOHSCROLL, ControlKind::Edit},
        {ui::STYLE_CENTER_VERTICAL, false, SS_CENTERIMAGE, ControlKind::Static},
        {ui::STYLE_NO_PREFIX, false, SS_NOPREFIX, ControlKind::Static},
        {ui::STYLE_CENTER, false, SS_CENTER, ControlKind::Static},
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
        const auto& [className, typeMask, type] = KINDS.at(expected.kind);
        EXPECT_TRUE(HasClass(child, className));
        EXPECT_EQ(style & typeMask, type);
        EXPECT_TRUE(!(expected.styles & ui::STYLE_BORDER) || (style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
        for (const auto& [layoutStyle, extended, bit, only] : FLAGS) {
            if (only && *only != expected.kind) continue;
            EXPECT_EQ(((extended ? exStyle : style) & bit) != 0, (expected.styles & layoutStyle) != 0)
                << "style " << layoutStyle;
        }
        EXPECT_TRUE(style & WS_VISIBLE);  // the About box is not on screen yet when it is read
        EXPECT_EQ(::IsWindowEnabled(child) != FALSE, !(expected.styles & ui::STYLE_DISABLED));
        RECT rect;
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        const RECT place = DialogUnits(window, expected.rect);
        EXPECT_EQ(std::make_pair(rect.left, rect.top), std::make_pair(place.left, place.top));
        if (expected.kind != ControlKind::Icon) {  // an icon has no text and takes the size of its picture
            EXPECT_EQ(WindowText(child), Utf8ToUtf16(expected.text));
            EXPECT_EQ(std::make_pair(rect.right, rect.bottom), std::make_pair(place.right, place.bottom));
        }
    }
    EXPECT_EQ(WindowText(window), Utf8ToUtf16(layout.caption));
    const LONG style = ::GetWindowLongW(window, GWL_STYLE), exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | (layout.minimizeBox ? WS_MINIMIZEBOX : 0));
    EXPECT_EQ(exStyle & (WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME),
              WS_EX_DLGMODALFRAME | (layout.inTaskBar ? WS_EX_APPWINDOW : 0));
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
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window()) return;
        ExpectInventory(window, ui::AboutDialogTemplate());
        EXPECT_NE(::SendMessageW(Children(window).front(), STM_GETICON, 0, 0), 0) << "the app icon";
        EXPECT_EQ(::GetWindow(window, GW_OWNER), Window());
        EXPECT_TRUE(ClickIfEnabled(::GetDlgItem(window, IDOK)));
    });
    events_.onInitialize = [this] { frontEnd_.AppendSystemMenuItem(SYSMENU_ABOUT_ID, "&Acerca de quelmar..."); };
    events_.onSysCommand = [this](int id) { return id == SYSMENU_ABOUT_ID && (frontEnd_.RunAboutBox(), true); };
    EXPECT_EQ(RunWindow([this] {
                  ExpectInventory(Window(), ui::MainDialogTemplate());
                  EXPECT_EQ(::GetWindow(Window(), GW_OWNER), nullptr);
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
                  ::SendMessageW(Window(), WM_SYSCOMMAND, SYSMENU_ABOUT_ID | 0x3, 0);  // the system's own low bits set
                  Close(ModalResult::Ok);
              }),
              ModalResult::Ok);
    EXPECT_EQ(frontEnd_.LastAboutBoxResult(), IDOK);
}

// --- flows ----------------------------------------------------------------------

// Stands in for the simulated scale: its state is the actions it was given.
class FakePanel final : public ui::SimulatorPanel {
public:
    std::string StateText() const override { return "acciones: " + std::to_string(actions.size()); }
    void Act(ui::SimulatorAction action) override { actions.push_back(action); }
    bool Taken(ui::SimulatorAction action) const override { return !actions.empty() && actions.back() == action; }
    std::vector<ui::SimulatorAction> actions;
};

// A mode button that disables itself hands the focus on to the next button, so that Tab and Space go on working.
TEST_F(Win32FrontEndTest, EventsReachTheLogicWhichAloneEndsTheWindowAndTheToolWindowStandsBesideIt) {
    FakePanel panel;
    frontEnd_.SetSimulatorPanel(&panel);
    const auto tool = [this] { return static_cast<HWND>(frontEnd_.SimulatorWindowHandle()); };
    const auto toolItem = [&](int id) { return ::GetDlgItem(tool(), id); };
    std::vector<HWND> activated;
    watcher_.SetHandler([&](HWND window) { activated.push_back(window); });
    events_.onInitialize = [this] { frontEnd_.FocusControl(LIMIT_FIELD_IDS[2]); };
    events_.onCommand = [&](int id) {
        EXPECT_EQ(::GetFocus(), Item(id)) << "clicking gave the button the focus";
        frontEnd_.EnableControl(id, false);
    };
    RunWindow([&] {
        EXPECT_EQ(::GetFocus(), Item(LIMIT_FIELD_IDS[2])) << "focus set in initialisation is kept";
        ASSERT_TRUE(::IsWindowVisible(tool()));
        EXPECT_EQ(WindowText(tool()), L"Balanza simulada");
        EXPECT_EQ(::GetWindow(tool(), GW_OWNER), Window());
        EXPECT_TRUE(::GetWindowLongW(tool(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        RECT main, beside;
        ::GetWindowRect(Window(), &main);
        ::GetWindowRect(tool(), &beside);
        EXPECT_GE(beside.left, main.right) << "beside the main window, not over it";
        EXPECT_EQ(beside.top, main.top);
        // As a tick's field exchange does: the same text again; only a change reaches the field and its notice.
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "250");
        ::SendMessageW(Item(LIMIT_FIELD_IDS[0]), EM_SETSEL, 1, 1);
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "250");
        EXPECT_EQ(Selection(LIMIT_FIELD_IDS[0]).first, 1u) << "the operator's caret stays where it was";
        ::SendMessageW(Item(LIMIT_FIELD_IDS[1]), WM_CHAR, L'5', 0);
        // A control disabled while another has the focus leaves it there.
        frontEnd_.FocusControl(IDC_EXIT);
        frontEnd_.EnableControl(IDC_CALIBRATE, false);
        EXPECT_EQ(::GetFocus(), Item(IDC_EXIT));
        frontEnd_.EnableControl(IDC_STOP_TEST, true);
        for (const auto& [pressed, next] :
             {std::pair{IDC_START_TEST, IDC_STOP_TEST}, {IDC_STOP_TEST, IDC_LOAD_LIMITS}}) {  // past fields, "Guardar"
            ::SendMessageW(Item(pressed), BM_CLICK, 0, 0);
            EXPECT_FALSE(frontEnd_.IsControlEnabled(pressed));
            EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), next) << "pressed " << pressed;
        }
        frontEnd_.FocusControl(LIMIT_FIELD_IDS[0]);
        EXPECT_EQ(Selection(LIMIT_FIELD_IDS[0]), std::make_pair(DWORD{0}, DWORD{3})) << "focused on purpose: selected";
        frontEnd_.SetControlText(LIMIT_FIELD_IDS[0], "");
        // Enter in a field is the accept command (no button is the default).
        ::PostMessageW(Item(LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(Item(LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(Item(LIMIT_FIELD_IDS[0]), WM_KEYDOWN, VK_TAB, 0);
        ::PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Later([&] {
            EXPECT_EQ(events_.log,
                      (std::vector<std::string>{"change 1008", "change 1010", "command 1040", "command 1041",
                                                "change 1008", "accept", "cancel", "close"}));
            EXPECT_TRUE(::IsWindowVisible(Window())) << "the logic decides, and this one did nothing";
            EXPECT_EQ(frontEnd_.GetControlText(LIMIT_FIELD_IDS[1]), "5");
            EXPECT_EQ(Selection(LIMIT_FIELD_IDS[1]), std::make_pair(DWORD{0}, DWORD{1})) << "reached by Tab: selected";
            // The tool window's buttons then its caption, clicked with the mouse (hit-testing, activation and all)
            // while a field of the main window has the keyboard.
            const auto click = [](LONG x, LONG y, LONG drag = 0) {  // a drag moves by a few pixels, no acceleration
                ::SetCursorPos(x, y);
                INPUT input[3] = {{INPUT_MOUSE, {{0, 0, 0, MOUSEEVENTF_LEFTDOWN, 0, 0}}},
                                  {INPUT_MOUSE, {{drag, drag, 0, MOUSEEVENTF_MOVE, 0, 0}}},
                                  {INPUT_MOUSE, {{0, 0, 0, MOUSEEVENTF_LEFTUP, 0, 0}}}};
                ::SendInput(3, input, sizeof(INPUT));
            };
            EXPECT_EQ(WindowText(toolItem(ui::win32::IDC_SIMULATOR_STATE)), L"acciones: 0");
            RECT place;
            for (const auto& [id, text] : {std::pair{ui::win32::IDC_SIMULATOR_REFERENCE, L"Peso patr\u00f3n"},
                                           {ui::win32::IDC_SIMULATOR_PAUSE, L"Pausa"},
                                           {ui::win32::IDC_SIMULATOR_PLUG, L"Desconectar"}}) {
                EXPECT_EQ(WindowText(toolItem(id)), text);
                ::GetWindowRect(toolItem(id), &place);
                click((place.left + place.right) / 2, (place.top + place.bottom) / 2);
            }
            ::GetWindowRect(tool(), &place);
            const POINT caption{(place.left + place.right) / 2, place.top + ::GetSystemMetrics(SM_CYDLGFRAME) + 4};
            ASSERT_EQ(::SendMessageW(tool(), WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y)), HTCAPTION);
            click(caption.x, caption.y, 3);
            Later([&, place] {
                EXPECT_EQ(WindowText(toolItem(ui::win32::IDC_SIMULATOR_STATE)), L"acciones: 3") << "refreshed at once";
                EXPECT_EQ(panel.actions, (std::vector{ui::SimulatorAction::Reference, ui::SimulatorAction::Pause,
                                                      ui::SimulatorAction::Plug}));
                EXPECT_EQ(activated, std::vector<HWND>{Window()}) << "the tool window was never activated, even shown";
                EXPECT_EQ(::GetActiveWindow(), Window());
                RECT moved;
                ::GetWindowRect(tool(), &moved);
                EXPECT_EQ(std::pair(moved.left, moved.top), std::pair(place.left + 3, place.top + 3)) << "dragged";
                EXPECT_EQ(::GetFocus(), Item(LIMIT_FIELD_IDS[1])) << "the field Tab reached kept the keyboard";
                // Unplugged: the same button, enabled, plugs it in again.
                EXPECT_EQ(WindowText(toolItem(ui::win32::IDC_SIMULATOR_PLUG)), L"Conectar");
                EXPECT_TRUE(::IsWindowEnabled(toolItem(ui::win32::IDC_SIMULATOR_PLUG)));
                Close();
            });
        });
    });

    EXPECT_EQ(frontEnd_.SimulatorWindowHandle(), nullptr) << "gone with the main window";
}

// Boxes over the main window, then save dialogs: cancelled, then an existing name typed without its extension.
TEST_F(Win32FrontEndTest, BoxesShowTheirRowsWhileTicksGoOnAndSaveDialogsAddTheExtensionAndAskBeforeOverwriting) {
    struct Row {
        MessageRecord asked;
        int answer;  // -1: the third tick answers IDCANCEL
    };
    const Row rows[] = {
        {{"Sin dispositivos USB", "Quelmar", MessageIcon::Stop, MessageButtons::Ok}, IDOK},
        {{"¿Está seguro?", "Estadísticas", MessageIcon::Exclamation, MessageButtons::OkCancel}, -1},
        {{"Calibración terminada", "", MessageIcon::Information, MessageButtons::OkCancel}, IDCANCEL},
        {{"Sin icono", "Quelmar", MessageIcon::None, MessageButtons::Ok}, IDOK},
    };
    std::vector<MessageRecord> boxes, shown;
    for (const Row& row : rows) shown.push_back(row.asked);
    shown[2].caption = "Win32WindowTest";  // no caption: the program file's name
    // A folder of the test's own under the temporary folder: the drive's root may not be writable.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"quelmar-dialog-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring existing = folder + L"\\existe.est";
    ::CloseHandle(::CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const wchar_t* typed = nullptr;  // null: cancel the file dialog
    int questions = 0, firstFilter = -1, ticksDuringBox = 0;
    HWND openBox = nullptr;
    watcher_.SetHandler([&](HWND window) {
        if (!IsDialogClass(window) || window == Window()) return;
        if (::GetDlgItem(window, cmb13) != nullptr) {  // a file dialog: answered once it has set itself up
            Later([&, window] {
                firstFilter = static_cast<int>(::SendMessageW(::GetDlgItem(window, cmb1), CB_GETCURSEL, 0, 0));
                if (typed != nullptr) ::SetWindowTextW(::GetDlgItem(window, cmb13), typed);
                Answer(window, typed ? IDOK : IDCANCEL);
            });
        } else if (::GetDlgItem(window, IDYES) != nullptr) {  // whether to overwrite
            ++questions;
            Answer(window, IDYES);
        } else if (IsMessageBox(window)) {
            boxes.push_back(ReadMessageBox(window));
            EXPECT_EQ(::GetWindow(window, GW_OWNER), Window()) << "a box over the main window";
            const int answer = boxes.size() <= std::size(rows) ? rows[boxes.size() - 1].answer : IDOK;
            if (answer == -1) openBox = window;
            else Answer(window, answer);
        }
    });
    events_.onTimer = [&](int id) {
        if (id == TIMER_WORK && openBox != nullptr && ++ticksDuringBox == 3)
            Answer(std::exchange(openBox, nullptr), IDCANCEL);
    };
    std::optional<std::string> cancelled, chosen;
    RunWindow([&] {
        frontEnd_.StartTimer(TIMER_WORK, 10);
        for (const auto& [box, answer] : rows) {
            const MessageResult result = frontEnd_.ShowMessage(box.text, box.caption, box.icon, box.buttons);
            EXPECT_EQ(result, answer == IDOK ? MessageResult::Ok : MessageResult::Cancel) << box.text;
        }
        frontEnd_.StopTimer(TIMER_WORK);
        const FileDialogSettings settings{FileDialogKind::Save,
                                          Utf16ToUtf8(folder),
                                          {{"Archivos Estadística(*.est)", "*.est"}, {"Todos(*.*)", "*.*"}},
                                          ".est"};
        cancelled = frontEnd_.ChooseFile(settings);
        typed = L"existe";
        chosen = frontEnd_.ChooseFile(settings);
        Close();
    });
    ::DeleteFileW(existing.c_str());
    ::RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(boxes, shown);
    EXPECT_EQ(ticksDuringBox, 3) << "the timer's ticks went on while a box was open";
    EXPECT_EQ(cancelled, std::nullopt);
    EXPECT_EQ(_wcsicmp(Utf8ToUtf16(chosen.value_or("")).c_str(), existing.c_str()), 0) << chosen.value_or("(none)");
    EXPECT_EQ(questions, 1) << "asked before overwriting";
    EXPECT_EQ(firstFilter, 0) << "the first filter is selected";
}

TEST(Win32LocalTimeTest, AFixedSystemTimeNotTheClockIsTheReportsDateWithMonthsFromOneAndWeeksFromSunday) {
    const FILETIME instant{0xBA68B700, 0x01DD84FD};  // 2026-12-05 21:15:18, a Saturday, in 100 ns since 1601
    SYSTEMTIME time;
    ASSERT_TRUE(::FileTimeToSystemTime(&instant, &time));
    EXPECT_EQ(storage::FormatReportDate(ui::win32::ToLocalDateTime(time)), "Sábado 05/12/2026  21:15:18");
}

}  // namespace
