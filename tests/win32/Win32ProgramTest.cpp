// The whole program (app::RunQuelmar) on the front-end and the resources of quelmar.exe, under Wine.
#include "app/quelmar.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/win32/WindowAutomation.h"

#include <winver.h>

#include "ui/ControlIds.h"
#include "ui/win32/SimulatorWindow.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

using namespace testing_support::boxes;
using namespace win32_testing;

class Win32ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CreateDirectoryW(L"C:\\velsor", nullptr);
        DeleteFiles();  // each run starts a new shift
    }
    void TearDown() override {
        DeleteFiles();
        ::RemoveDirectoryW(L"C:\\velsor");
    }
    static void DeleteFiles() {
        for (const wchar_t* file :
             {CALIBRATION_FILE, L"C:\\velsor\\estadisticas.db", L"C:\\velsor\\estadisticas.db-wal"})
            ::DeleteFileW(file);
    }

    // Runs the program on `arguments`, its name first; `script` runs once the window shows and must end the program.
    int RunProgram(std::vector<std::string> arguments, std::function<void()> script) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        WindowWatcher watcher([this, script](HWND window) {
            if (frontEnd_ != nullptr && window == frontEnd_->WindowHandle()) {
                RunWhenShown(script);
            } else if (IsMessageBox(window)) {
                EXPECT_EQ(::GetWindow(window, GW_OWNER), Window()) << "over the main window, even while it initialises";
                boxes_.push_back(ReadMessageBox(window));
                onMessageBox_(window);
            } else if (IsDialogClass(window) && window != Tool()) {  // the About box
                ++abouts_;
                Answer(window, IDOK);
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

    // The main window is activated, still hidden, when a box of its initialisation closes: wait until it shows.
    void RunWhenShown(std::function<void()> script) {
        Later([this, script] {
            if (frontEnd_ != nullptr && Window() != nullptr)
                ::IsWindowVisible(Window()) ? script() : RunWhenShown(script);
        });
    }

    HWND Window() const { return static_cast<HWND>(frontEnd_->WindowHandle()); }
    HWND Tool() const { return static_cast<HWND>(frontEnd_->SimulatorWindowHandle()); }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }

    static constexpr const wchar_t* CALIBRATION_FILE = L"C:\\velsor\\usb.ini";
    ui::win32::Win32FrontEnd* frontEnd_ = nullptr;
    Boxes boxes_;
    int abouts_ = 0;
    std::function<void(HWND)> onMessageBox_ = [](HWND box) { Answer(box, IDOK); };
};

TEST_F(Win32ProgramTest, WithoutAnyDeviceTheRealDriverPathReportsItAndEnds) {
    EXPECT_EQ(RunProgram({"quelmar"}, [] { ADD_FAILURE() << "the window must not be shown"; }), 0);
    EXPECT_EQ(boxes_, Boxes{Stop("No hay dispositivos USB conectados!", "Quelmar")});
}

// A first start, simulated, paused and uncalibrated (the weight put on from the tool window), then its modes and menu.
TEST_F(Win32ProgramTest, AFirstStartCalibratesThenEachModesTimerEndsWithItsStopButtonAndOnlyTheAboutItemOpensItsBox) {
    onMessageBox_ = [&](HWND box) {
        if (boxes_.back() != PUT_WEIGHT) {
            Answer(box, IDOK);
        } else {
            Later([&, box] {
                EXPECT_TRUE(!::IsWindowEnabled(Window()) && ::IsWindowEnabled(Tool())) << "only the main one disabled";
                EXPECT_TRUE(ClickIfEnabled(::GetDlgItem(Tool(), ui::win32::IDC_SIMULATOR_REFERENCE)));
                Later([box] { Answer(box, IDOK); });
            });
        }
        if (boxes_.size() == 5)
            Later([this] {  // once the calibration has ended, whichever way: work mode, test mode, the system menu
                using namespace ui;
                for (const auto& [start, stop, timer] : {std::tuple{IDC_START_WORK, IDC_STOP_WORK, TIMER_WORK},
                                                         {IDC_START_TEST, IDC_STOP_TEST, TIMER_TEST}}) {
                    ::SendMessageW(Item(start), BM_CLICK, 0, 0);
                    MSG tick{};  // the window's next tick, waited for at most 5 s (a bound, not a measure)
                    ::SetTimer(Window(), 0xB0, 5000, nullptr);
                    ::GetMessageW(&tick, Window(), WM_TIMER, WM_TIMER);
                    ::KillTimer(Window(), 0xB0);
                    ::DispatchMessageW(&tick);
                    EXPECT_EQ(tick.wParam, static_cast<UINT_PTR>(timer)) << "the window's own timer, no other";
                    ::SendMessageW(Item(stop), BM_CLICK, 0, 0);
                }
                // After "Parar Prueba" the keyboard is on "Empezar Trabajo": a digit typed next changes no limit.
                EXPECT_EQ(frontEnd_->FocusedControl(), IDC_START_WORK);
                ::SendMessageW(::GetFocus(), WM_CHAR, L'7', 0);
                for (const int field : LIMIT_FIELD_IDS)
                    EXPECT_EQ(WindowText(Item(field)).find(L'7'), std::wstring::npos);
                EXPECT_EQ(WindowText(Item(IDC_STATE)), L"") << "no status exchange since work stopped";
                for (const int timer : {TIMER_WORK, TIMER_TEST}) EXPECT_FALSE(::KillTimer(Window(), timer)) << timer;
                // Only the About item opens the box, low bits aside; keyboard moving and sizing run until Escape.
                for (const UINT command :
                     {SYSMENU_ABOUT_ID | 0x3, SYSMENU_ABOUT_ID | 0xF, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_CLOSE}) {
                    const int opened = abouts_;
                    if (command == SC_MOVE || command == SC_SIZE) ::PostMessageW(Window(), WM_KEYDOWN, VK_ESCAPE, 0);
                    ::SendMessageW(Window(), WM_SYSCOMMAND, command, 0);
                    EXPECT_EQ(abouts_ - opened, command < 0xF000 ? 1 : 0) << command;
                }
            });
    };
    EXPECT_EQ(RunProgram({"quelmar", "--simulate", "--paused"},
                         [this] { ASSERT_TRUE(ClickIfEnabled(Item(ui::IDC_CALIBRATE))); }),
              0);
    EXPECT_EQ(boxes_, (Boxes{FOUND, CONFIGURATION_MISSING, CLEAR_SCALE, PUT_WEIGHT, CALIBRATED, TEST_CLEAR_SCALE}));
    WIN32_FILE_ATTRIBUTE_DATA file{};
    EXPECT_TRUE(::GetFileAttributesExW(CALIBRATION_FILE, GetFileExInfoStandard, &file) && file.nFileSizeLow == 20u)
        << "the calibration was stored";
}

// The version resource (linked into the tests too) as Explorer reads it: maker and copyright in the Spanish block.
// quelmar.exe itself, killed in work mode and started again, shows every item it had shown, and none twice.
TEST_F(Win32ProgramTest, TheProgramKilledInWorkModeStartsAgainWithEveryItemItShowed) {
    const char calibration[20] = {0, 0, 0, 0x40};  // factor 2.0, limits 0
    ASSERT_TRUE(std::ofstream("C:\\velsor\\usb.ini", std::ios::binary).write(calibration, sizeof calibration));
    std::wstring exe = L"Z:" QUELMAR_EXE;
    for (wchar_t& c : exe) c = c == L'/' ? L'\\' : c;
    // Its main window, once every box of its start-up has been answered; waits a bounded time for each.
    const auto started = [&](PROCESS_INFORMATION& process) {
        std::wstring line = L"quelmar.exe --simulate";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        EXPECT_TRUE(::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &process));
        std::pair<DWORD, HWND> found{process.dwProcessId, nullptr};
        for (int polls = 0; polls < 400 && ::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT; ++polls) {
            found.second = nullptr;
            ::EnumWindows(
                [](HWND window, LPARAM data) {
                    auto& [pid, main] = *reinterpret_cast<std::pair<DWORD, HWND>*>(data);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    if (owner != pid || !::IsWindowVisible(window)) return TRUE;
                    if (IsMessageBox(window)) Answer(window, IDOK);
                    else if (::GetDlgItem(window, ui::IDC_START_WORK) != nullptr && ::IsWindowEnabled(window))
                        main = window;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&found));
            if (found.second != nullptr) return found.second;
        }
        ADD_FAILURE() << "quelmar.exe showed no main window";
        return HWND{};
    };
    const auto total = [](HWND main) { return std::stoi(WindowText(::GetDlgItem(main, ui::IDC_TOTAL_COUNT))); };
    PROCESS_INFORMATION first{}, second{};
    const HWND main = started(first);
    ASSERT_NE(main, nullptr);
    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(ui::IDC_START_WORK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, ui::IDC_START_WORK)));
    int shown = 0;
    for (int polls = 0; polls < 200 && shown < 3; ++polls, ::WaitForSingleObject(first.hProcess, 50))
        shown = total(main);
    ASSERT_GE(shown, 3) << "no items counted";
    ::TerminateProcess(first.hProcess, 9);  // at once after the read: a tick is 100 ms
    ::WaitForSingleObject(first.hProcess, 10000);
    const HWND again = started(second);
    ASSERT_NE(again, nullptr);
    const int restored = total(again);
    EXPECT_TRUE(restored >= shown && restored <= shown + 1) << restored << " restored, " << shown << " shown";
    ::TerminateProcess(second.hProcess, 0);
    ::WaitForSingleObject(second.hProcess, 10000);
    for (const HANDLE handle : {first.hProcess, first.hThread, second.hProcess, second.hThread}) ::CloseHandle(handle);
}

TEST(Win32ResourcesTest, TheVersionResourceNamesTheMakerInItsSpanishBlock) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<char> data(::GetFileVersionInfoSizeW(path, nullptr));
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
