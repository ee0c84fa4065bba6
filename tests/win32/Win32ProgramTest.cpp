// The whole program on its Win32 window, in-process under Wine (headless),
// on the simulated scale and on the real driver path (Wine has no USB
// driver). Message boxes are caught as they open and answered.
#include "app/quelmar.h"

#include <gtest/gtest.h>

#include "UiAutomation.h"

#include <winver.h>
#include "ui/win32/SimulatorWindow.h"
#include "ui/win32/TextConversion.h"
#include "ui/win32/Win32FrontEnd.h"

#include <functional>
#include <string>
#include <vector>

#include "platform/ControlIds.h"

namespace {

using namespace win32_test;
using ui::win32::Win32FrontEnd;

const std::wstring FOUND = L"Dispositivo Encontrado y Configurado!";
const std::wstring NO_DEVICES = L"No hay dispositivos USB conectados!";
const std::wstring NO_CALIBRATION =
    L"No se encontro el archivo de configuracion, deber\u00e1 calibrar la balanza y cargar los limites antes de "
    L"empezar";

// The program owns the front-end that the factory gives it and destroys it
// before RunQuelmar returns; the test keeps the real one and lends it out.
class LentFrontEnd final : public ui::FrontEnd {
public:
    explicit LentFrontEnd(ui::FrontEnd& real) : real_(real) {}
    platform::ModalResult RunModal(ui::DialogEvents& events) override { return real_.RunModal(events); }
    platform::MessageResult ShowMessage(std::string_view text, std::string_view caption, platform::MessageIcon icon,
                                        platform::MessageButtons buttons) override {
        return real_.ShowMessage(text, caption, icon, buttons);
    }
    void EnableControl(int id, bool enabled) override { real_.EnableControl(id, enabled); }
    bool IsControlEnabled(int id) const override { return real_.IsControlEnabled(id); }
    void StartTimer(int id, unsigned milliseconds) override { real_.StartTimer(id, milliseconds); }
    void StopTimer(int id) override { real_.StopTimer(id); }
    void SetControlText(int id, std::string_view text) override { real_.SetControlText(id, text); }
    std::string GetControlText(int id) const override { return real_.GetControlText(id); }
    void FocusControl(int id) override { real_.FocusControl(id); }
    void CloseModal(platform::ModalResult result) override { real_.CloseModal(result); }
    void AppendSystemMenuItem(int commandId, std::string_view text) override {
        real_.AppendSystemMenuItem(commandId, text);
    }
    void RunAboutBox() override { real_.RunAboutBox(); }
    std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override {
        return real_.ChooseFile(settings);
    }
    platform::LocalDateTime LocalTime() const override { return real_.LocalTime(); }

private:
    ui::FrontEnd& real_;
};

class Win32ProgramTest : public ::testing::Test {
protected:
    void TearDown() override { CancelPendingSteps(); }

    // Runs the program with `arguments`; `script` runs once its main window
    // is up and must end the program through the window.
    int RunProgram(std::vector<std::string> arguments, std::function<void()> script) {
        arguments.insert(arguments.begin(), "quelmar");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        WindowWatcher watcher([this, script](HWND window) {
            if (window == frontEnd_.WindowHandle()) {
                RunWhenShown(script);
            } else if (IsMessageBox(window)) {
                boxes_.push_back(ReadMessageBox(window));
                if (onMessageBox_) {
                    onMessageBox_(window, boxes_.back());
                } else {
                    Answer(window, IDOK);
                }
            }
        });
        const int result = app::RunQuelmar(
            static_cast<int>(arguments.size()), argv.data(),
            [this](ui::SimulatorPanel* panel) -> std::unique_ptr<ui::FrontEnd> {
                frontEnd_.SetSimulatorPanel(panel);  // as quelmar.exe does
                return std::make_unique<LentFrontEnd>(frontEnd_);
            },
            /*simulateByDefault=*/false);
        CancelPendingSteps();
        EXPECT_NE(frontEnd_.LastDialogBoxResult(), -1) << "the main window was not created";
        return result;
    }

    // The main window is activated (still hidden) when a box of its
    // initialisation closes: the script waits until it is on screen.
    void RunWhenShown(std::function<void()> script) {
        Later([this, script] {
            if (frontEnd_.WindowHandle() == nullptr) return;
            if (!::IsWindowVisible(Window())) {
                RunWhenShown(script);
                return;
            }
            mainWindowShown_ = true;
            script();
        });
    }

    HWND Window() const { return static_cast<HWND>(frontEnd_.WindowHandle()); }
    HWND Tool() const { return static_cast<HWND>(frontEnd_.SimulatorWindowHandle()); }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }

    // Presses "&Salir", which no mode disables.
    void PressExit() { ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_EXIT))); }

    Win32FrontEnd frontEnd_;
    bool mainWindowShown_ = false;
    std::vector<MessageBoxView> boxes_;
    std::function<void(HWND, const MessageBoxView&)> onMessageBox_;
};

TEST_F(Win32ProgramTest, WithoutAnyDeviceTheRealDriverPathReportsItAndEnds) {
    bool windowInitialising = false;
    onMessageBox_ = [&](HWND box, const MessageBoxView&) {
        windowInitialising = frontEnd_.WindowHandle() != nullptr;
        Answer(box, IDOK);
    };
    const int result = RunProgram({}, [] { ADD_FAILURE() << "the window must not be shown"; });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(mainWindowShown_);
    EXPECT_TRUE(windowInitialising) << "the box comes from the window's initialisation";
    EXPECT_EQ(frontEnd_.LastDialogBoxResult(), IDOK) << "ended by the exit steps";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, NO_DEVICES);
    EXPECT_EQ(boxes_[0].icon, BoxIcon::Stop);
}

TEST_F(Win32ProgramTest, SimulatedScaleStartsUnconfiguredAndExitEndsTheProgram) {
    const int result = RunProgram({"--simulate", "--paused"}, [this] {
        EXPECT_EQ(Text(platform::IDC_REFERENCE_WEIGHT), L"190");
        for (int id : platform::LIMIT_FIELD_IDS) EXPECT_EQ(Text(id), L"0") << id;
        EXPECT_EQ(Text(platform::IDC_TOTAL_COUNT), L"0");
        EXPECT_FALSE(::IsWindowEnabled(Item(platform::IDC_START_WORK)));
        EXPECT_FALSE(::IsWindowEnabled(Item(platform::IDC_SAVE_LIMITS)));
        EXPECT_TRUE(::IsWindowEnabled(Item(platform::IDC_CALIBRATE)));
        EXPECT_EQ(::GetFocus(), Item(platform::IDC_EXIT));
        PressExit();
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(mainWindowShown_);
    EXPECT_EQ(frontEnd_.LastDialogBoxResult(), IDOK);
    // Found, then no calibration file in this prefix.
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, FOUND);
    EXPECT_EQ(boxes_[0].caption, L"Quelmar");
    EXPECT_EQ(boxes_[0].icon, BoxIcon::Information);
    EXPECT_EQ(boxes_[1].text, NO_CALIBRATION);
    EXPECT_EQ(boxes_[1].caption, L"Configuraci\u00f3n");
    EXPECT_EQ(boxes_[1].icon, BoxIcon::Stop);
}

TEST_F(Win32ProgramTest, RefusedReferenceWeightPromptsAndFocusesTheField) {
    RunProgram({"--simulate", "--paused"}, [this] {
        ::SetWindowTextW(Item(platform::IDC_REFERENCE_WEIGHT), L"100");
        ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_CALIBRATE)));
        Later([this] {
            ASSERT_EQ(boxes_.size(), 3u) << "the range prompt";
            EXPECT_NE(boxes_[2].text.find(L"150"), std::wstring::npos) << ui::win32::Utf16ToUtf8(boxes_[2].text);
            EXPECT_NE(boxes_[2].text.find(L"600"), std::wstring::npos);
            EXPECT_TRUE(::IsWindowVisible(Window()));
            EXPECT_EQ(::GetFocus(), Item(platform::IDC_REFERENCE_WEIGHT));
            EXPECT_FALSE(::IsWindowEnabled(Item(platform::IDC_START_WORK))) << "no button changed";
            // "&Salir" validates too: refused again, the window stays.
            ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_EXIT)));
            Later([this] {
                EXPECT_EQ(boxes_.size(), 4u);
                EXPECT_TRUE(::IsWindowVisible(Window()));
                ::SetWindowTextW(Item(platform::IDC_REFERENCE_WEIGHT), L"600");
                PressExit();
            });
        });
    });
    EXPECT_EQ(frontEnd_.LastDialogBoxResult(), IDOK);
    EXPECT_EQ(boxes_.size(), 4u);
}

// A first start on the simulated scale, with no calibration file: the
// operator calibrates with the tool window's reference weight and can work.
class Win32FirstStartTest : public Win32ProgramTest {
protected:
    void SetUp() override {
        ::CreateDirectoryW(L"C:\\velsor", nullptr);
        ::DeleteFileW(CALIBRATION_FILE);
    }
    void TearDown() override {
        Win32ProgramTest::TearDown();
        ::DeleteFileW(CALIBRATION_FILE);
        ::RemoveDirectoryW(L"C:\\velsor");
    }
    static constexpr const wchar_t* CALIBRATION_FILE = L"C:\\velsor\\usb.ini";
};

TEST_F(Win32FirstStartTest, CalibratingWithTheToolWindowsReferenceWeightReachesWorkMode) {
    bool toolUsableAtThePrompt = false;
    onMessageBox_ = [&](HWND box, const MessageBoxView& view) {
        const bool calibrationEnds = boxes_.size() > 4;
        if (view.text != L"Ponga el peso patron sobre la balanza") {
            Answer(box, IDOK);
            if (!calibrationEnds) return;
            Later([this, ok = view.text == L"Calibracion OK!"] {  // once the calibration has ended
                if (ok && ClickIfEnabled(Item(platform::IDC_START_WORK))) {
                    Later([this] {
                        EXPECT_TRUE(::IsWindowEnabled(Item(platform::IDC_STOP_WORK))) << "in work mode";
                        EXPECT_FALSE(::IsWindowEnabled(Item(platform::IDC_START_WORK)));
                        PressExit();
                    });
                } else {
                    PressExit();
                }
            });
            return;
        }
        // The box waits for the weight: the operator puts it on from the
        // tool window, which the box does not disable.
        Later([&, box] {
            if (Tool() == nullptr) {
                ADD_FAILURE() << "no simulator tool window";
                Answer(box, IDOK);
                return;
            }
            toolUsableAtThePrompt = !::IsWindowEnabled(Window()) && ::IsWindowEnabled(Tool());
            const HWND reference = ::GetDlgItem(Tool(), ui::win32::IDC_SIMULATOR_REFERENCE);
            EXPECT_TRUE(ClickIfEnabled(reference));
            Later([&, box] {
                EXPECT_NE(
                    WindowText(::GetDlgItem(Tool(), ui::win32::IDC_SIMULATOR_STATE)).find(L"peso patr\u00f3n puesto"),
                    std::wstring::npos);
                Answer(box, IDOK);
            });
        });
    };
    const int result =
        RunProgram({"--simulate", "--paused"}, [this] { ASSERT_TRUE(ClickIfEnabled(Item(platform::IDC_CALIBRATE))); });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(toolUsableAtThePrompt);
    std::vector<std::wstring> texts;
    for (const MessageBoxView& box : boxes_) texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{FOUND, NO_CALIBRATION, L"Despeje la balanza,se tomara el cero",
                                                L"Ponga el peso patron sobre la balanza", L"Calibracion OK!"}));
    EXPECT_EQ(frontEnd_.LastDialogBoxResult(), IDOK) << "ended by \"&Salir\" from work mode";
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
        return ::VerQueryValueW(data.data(), key, &found, &length) && length > 0
                   ? std::wstring(static_cast<const wchar_t*>(found))
                   : std::wstring();
    };
    EXPECT_EQ(value(L"\\StringFileInfo\\0C0A04B0\\CompanyName"), L"Proyecto Quelmar");
    EXPECT_EQ(value(L"\\StringFileInfo\\0C0A04B0\\LegalCopyright"), L"\u00a9 2026 Proyecto Quelmar");
    void* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translation, &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(translation)[0], 0x0C0A) << "Spanish (Spain, modern sort)";
    EXPECT_EQ(static_cast<const WORD*>(translation)[1], 1200) << "UTF-16";
}

}  // namespace
