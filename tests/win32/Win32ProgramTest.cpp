// The whole program (app::RunQuelmar) on the front-end and the resources of quelmar.exe, under Wine.
#include "app/quelmar.h"

#include <gtest/gtest.h>

#include "tests/win32/WindowAutomation.h"

#include <winver.h>

#include "platform/ControlIds.h"
#include "ui/win32/SimulatorWindow.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

using namespace testing_support::boxes;
using namespace win32_testing;

class Win32ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CreateDirectoryW(L"C:\\velsor", nullptr);
        ::DeleteFileW(CALIBRATION_FILE);
        ::DeleteFileW(L"C:\\velsor\\estadisticas.db");  // each run starts a new shift
    }
    void TearDown() override {
        ::DeleteFileW(CALIBRATION_FILE);
        ::DeleteFileW(L"C:\\velsor\\estadisticas.db");
        ::RemoveDirectoryW(L"C:\\velsor");
    }

    // Runs the program on `arguments`, its name first; `script` runs once the window shows and must end the program.
    int RunProgram(std::vector<std::string> arguments, std::function<void()> script) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        WindowWatcher watcher([this, script](HWND window) {
            if (frontEnd_ != nullptr && window == frontEnd_->WindowHandle()) {
                RunWhenShown(script);
            } else if (IsMessageBox(window)) {
                boxes_.push_back(ReadMessageBox(window));
                onMessageBox_(window);
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
    std::vector<MessageRecord> boxes_;
    std::function<void(HWND)> onMessageBox_ = [](HWND box) { Answer(box, IDOK); };
};

TEST_F(Win32ProgramTest, WithoutAnyDeviceTheRealDriverPathReportsItAndEnds) {
    bool windowInitialising = false;
    onMessageBox_ = [&](HWND box) {
        windowInitialising = frontEnd_->WindowHandle() != nullptr;
        Answer(box, IDOK);
    };
    EXPECT_EQ(RunProgram({"quelmar"}, [] { ADD_FAILURE() << "the window must not be shown"; }), 0);
    EXPECT_TRUE(windowInitialising) << "the box comes from the window's initialisation";
    EXPECT_EQ(boxes_, std::vector<MessageRecord>{Stop("No hay dispositivos USB conectados!", "Quelmar")});
}

// A first start, simulated and paused, with no calibration: the weight is put on from the tool window while asked.
TEST_F(Win32ProgramTest, AFirstStartCalibratesWithTheToolWindowsReferenceWeightAndReachesWorkMode) {
    bool toolUsableAtThePrompt = false;
    onMessageBox_ = [&](HWND box) {
        if (boxes_.back() != PUT_WEIGHT) {
            Answer(box, IDOK);
        } else {
            Later([&, box] {
                toolUsableAtThePrompt = !::IsWindowEnabled(Window()) && ::IsWindowEnabled(Tool());
                EXPECT_TRUE(ClickIfEnabled(::GetDlgItem(Tool(), ui::win32::IDC_SIMULATOR_REFERENCE)));
                Later([box] { Answer(box, IDOK); });
            });
        }
        if (boxes_.size() == 5)
            Later([this] {  // once the calibration has ended, whichever way; then "&Salir"
                const bool working = ClickIfEnabled(Item(platform::IDC_START_WORK));
                Later([this, working] {
                    EXPECT_TRUE(working && ::IsWindowEnabled(Item(platform::IDC_STOP_WORK))) << "in work mode";
                    ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_EXIT)));
                });
            });
    };
    EXPECT_EQ(RunProgram({"quelmar", "--simulate", "--paused"},
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

// The version resource (linked into the tests too) as Explorer reads it: maker and copyright in the Spanish block.
TEST(Win32ResourcesTest, TheVersionResourceNamesTheMakerInItsSpanishBlock) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<char> data(::GetFileVersionInfoSizeW(path, nullptr));
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
