// The main window's logic through the recording window services: start-up
// and its messages, exit, the field exchange, the events of the window.
#include <gtest/gtest.h>

#include "tests/support/ScaleTestBench.h"

using namespace scale;
using platform::MessageButtons;
using platform::MessageIcon;
using testing_support::ScaleTestBench;

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    ScaleTestBench bench;

    // Start-up with the scale present and a calibration file.
    void StartReady() {
        bench.AttachScripted();
        bench.StoreCalibration(2.0f, {0, 100, 150, 200, 250, 300, 350, 400});
        bench.StartUp();
        ASSERT_FALSE(bench.window.closed.has_value());
    }
    void ExpectOnlyMessage(const std::string& text, MessageIcon icon) {
        ASSERT_EQ(bench.window.messages.size(), 1u);
        EXPECT_EQ(bench.window.messages[0].text, text);
        EXPECT_EQ(bench.window.messages[0].caption, "Quelmar");
        EXPECT_EQ(bench.window.messages[0].icon, icon);
        EXPECT_EQ(bench.window.messages[0].buttons, MessageButtons::Ok);
    }
};

// ---- start-up

TEST_F(MainDialogTest, WithoutDevicesTheOnlyMessageIsNoDevicesAndTheProgramEnds) {
    bench.StartUp();
    ExpectOnlyMessage("No hay dispositivos USB conectados!", MessageIcon::Stop);
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Ok);
    EXPECT_EQ(bench.kernel.ListCount(), 0u);  // the list was released by the exit
}

TEST_F(MainDialogTest, ForeignDevicesGiveFalloElGetDescriptor) {
    bench.AttachScripted(0x1234, 0x5678);
    bench.StartUp();
    ExpectOnlyMessage("Fallo el GetDescriptor", MessageIcon::Stop);
    EXPECT_TRUE(bench.window.closed.has_value());
}

TEST_F(MainDialogTest, NoDeviceListGivesItsMessage) {
    bench.kernel.SetFaultHook([](const char* call) -> platform::DWORD {
        return std::string(call) == "SetupDiGetClassDevsA" ? 13 : 0;
    });
    bench.StartUp();
    ExpectOnlyMessage("No se pudo crear una lista de dispositivos", MessageIcon::Stop);
    EXPECT_TRUE(bench.window.closed.has_value());
}

TEST_F(MainDialogTest, EachConfigurationFailureHasItsMessageAndEndsTheProgram) {
    struct Case {
        const char* message;
        std::function<void(ScaleTestBench&, sim::ScriptedDevice&)> breakIt;
    };
    const Case cases[] = {
        {"No se pudo abrir el dispositivo",
         [](ScaleTestBench& b, sim::ScriptedDevice&) {
             // The scale opens for the search but not for the configuration.
             int opens = 0;
             b.kernel.SetFaultHook([opens](const char* call) mutable -> platform::DWORD {
                 return std::string(call) == "CreateFileA" && ++opens == 2 ? 2 : 0;
             });
         }},
        {"No se pudo configurar el dispositivo",
         [](ScaleTestBench&, sim::ScriptedDevice& d) { d.SetConfigurationStatus(0xE000101D); }},
        {"No se pudo bindear el pipe 0x81", [](ScaleTestBench&, sim::ScriptedDevice& d) { d.RefuseEndpoint(0x81); }},
        {"No se pudo bindear el pipe 0x02", [](ScaleTestBench&, sim::ScriptedDevice& d) { d.RefuseEndpoint(0x02); }},
    };
    for (const Case& c : cases) {
        ScaleTestBench b;
        sim::ScriptedDevice& device = b.AttachScripted();
        c.breakIt(b, device);
        b.StartUp();
        ASSERT_EQ(b.window.messages.size(), 1u) << c.message;
        EXPECT_EQ(b.window.messages[0].text, c.message);
        EXPECT_EQ(b.window.messages[0].icon, MessageIcon::Stop);
        EXPECT_EQ(b.window.messages[0].caption, "Quelmar");
        EXPECT_TRUE(b.window.closed.has_value()) << c.message;
        // The exit closed whatever the configuration had opened.
        EXPECT_EQ(b.kernel.DeviceHandleCount(), 0u) << c.message;
        EXPECT_EQ(b.kernel.ListCount(), 0u) << c.message;
    }
}

TEST_F(MainDialogTest, ScalePresentShowsFoundAndConfiguredAndTheInitialFields) {
    bench.AttachScripted();
    bench.StartUp();
    ASSERT_GE(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Dispositivo Encontrado y Configurado!");
    EXPECT_EQ(bench.window.messages[0].caption, "Quelmar");
    EXPECT_EQ(bench.window.messages[0].icon, MessageIcon::Information);
    EXPECT_FALSE(bench.window.closed.has_value());
    EXPECT_EQ(bench.window.texts[IDC_REFERENCE_WEIGHT], "190");
    for (int id : LIMIT_FIELD_IDS) EXPECT_EQ(bench.window.texts[id], "0");
    for (int id = IDC_LINE_COUNT_1; id <= IDC_TOTAL_KILOGRAMS; ++id) EXPECT_EQ(bench.window.texts[id], "0");
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "");
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "");
    EXPECT_EQ(bench.window.texts[IDC_STATE], "");
    ASSERT_EQ(bench.window.systemMenu.size(), 1u);
    EXPECT_EQ(bench.window.systemMenu[0], std::make_pair(16, std::string("&Acerca de quelmar...")));
    ASSERT_FALSE(bench.window.focused.empty());
    EXPECT_EQ(bench.window.focused.back(), IDC_EXIT);
}

// ---- exit

TEST_F(MainDialogTest, ExitClosesTheLinkInOrderAndEndsTheWindow) {
    StartReady();
    bench.Press(IDC_EXIT);
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Ok);
    EXPECT_FALSE(bench.readPipe.IsOpen());
    EXPECT_FALSE(bench.writePipe.IsOpen());
    EXPECT_FALSE(bench.device.IsOpen());
    EXPECT_EQ(bench.link.DeviceList(), nullptr);
}

TEST_F(MainDialogTest, ExitWithARefusedFieldKeepsTheWindowAndTheLinkWorking) {
    StartReady();
    bench.Type(IDC_REFERENCE_WEIGHT, "601");
    bench.Press(IDC_EXIT);
    EXPECT_FALSE(bench.window.closed.has_value());
    EXPECT_EQ(bench.window.messages.back().text, "Ingrese un numero entre 150 y 600.");
    EXPECT_EQ(bench.window.messages.back().icon, MessageIcon::Exclamation);
    EXPECT_EQ(bench.window.focused.back(), IDC_REFERENCE_WEIGHT);
    EXPECT_TRUE(bench.readPipe.IsOpen());
    EXPECT_TRUE(bench.writePipe.IsOpen());
    // Corrected, the second exit ends it.
    bench.Type(IDC_REFERENCE_WEIGHT, "600");
    bench.Press(IDC_EXIT);
    EXPECT_TRUE(bench.window.closed.has_value());
}

TEST_F(MainDialogTest, EnterAndEscapeDoNothingTheCloseBoxEndsWithoutValidating) {
    StartReady();
    bench.Type(IDC_REFERENCE_WEIGHT, "abc");
    const std::size_t messages = bench.window.messages.size();
    bench.dialog.OnAccept();
    bench.dialog.OnCancel();
    EXPECT_FALSE(bench.window.closed.has_value());
    EXPECT_EQ(bench.window.messages.size(), messages);
    bench.dialog.OnClose();
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Cancel);
    EXPECT_EQ(bench.window.messages.size(), messages);
}

// ---- field exchange

TEST_F(MainDialogTest, ReferenceWeightRange) {
    StartReady();
    for (const char* refused : {"149", "601", "-190"}) {
        bench.window.Type(IDC_REFERENCE_WEIGHT, refused);
        EXPECT_FALSE(bench.dialog.ReadFields()) << refused;
        EXPECT_EQ(bench.window.messages.back().text, "Ingrese un numero entre 150 y 600.") << refused;
    }
    for (const char* accepted : {"150", "600", " 300 ", "+200"}) {
        bench.window.Type(IDC_REFERENCE_WEIGHT, accepted);
        EXPECT_TRUE(bench.dialog.ReadFields()) << accepted;
    }
    EXPECT_EQ(bench.dialog.Values().referenceWeight, 200);
}

TEST_F(MainDialogTest, LimitFieldsAcceptZeroTo800WholeNumbers) {
    StartReady();
    const int field = LIMIT_FIELD_IDS[7];
    for (const char* refused : {"801", "-1", "40000", "abc", "", "12a", "1.5", "-"}) {
        bench.window.Type(field, refused);
        EXPECT_FALSE(bench.dialog.ReadFields()) << refused;
        EXPECT_EQ(bench.window.focused.back(), field) << refused;
    }
    const std::size_t before = bench.window.messages.size();
    bench.window.Type(field, "");
    bench.dialog.ReadFields();
    EXPECT_EQ(bench.window.messages.back().text, "Ingrese un numero entero.");
    EXPECT_EQ(bench.window.messages.size(), before + 1);
    for (const char* accepted : {"0", "800"}) {
        bench.window.Type(field, accepted);
        EXPECT_TRUE(bench.dialog.ReadFields()) << accepted;
    }
}

TEST_F(MainDialogTest, ValuesStoredBeforeAFailureKeepTheirNewContent) {
    StartReady();
    bench.window.Type(LIMIT_FIELD_IDS[0], "10");
    bench.window.Type(LIMIT_FIELD_IDS[1], "20");
    bench.window.Type(LIMIT_FIELD_IDS[2], "x");
    bench.window.Type(LIMIT_FIELD_IDS[3], "40");
    EXPECT_FALSE(bench.dialog.ReadFields());
    const auto& limits = bench.dialog.Values().lineLimits;
    EXPECT_EQ(limits[0], 10);
    EXPECT_EQ(limits[1], 20);
    EXPECT_EQ(limits[2], 150);  // unparsable: keeps what it had
    EXPECT_EQ(limits[3], 200);  // never reached
    // Out of range is stored first, then refused, and all eight are parsed
    // before any is range-checked.
    bench.window.Type(LIMIT_FIELD_IDS[2], "900");
    bench.window.Type(LIMIT_FIELD_IDS[7], "1000");
    EXPECT_FALSE(bench.dialog.ReadFields());
    EXPECT_EQ(limits[2], 900);
    EXPECT_EQ(limits[7], 1000);
    EXPECT_EQ(bench.window.focused.back(), LIMIT_FIELD_IDS[2]);
}

TEST_F(MainDialogTest, ShowFieldsNeverOverwritesWhatTheOperatorIsTyping) {
    StartReady();
    bench.window.Type(LIMIT_FIELD_IDS[4], "2");  // half-typed "250"
    bench.window.Type(IDC_REFERENCE_WEIGHT, "1");
    bench.dialog.ShowFields();
    EXPECT_EQ(bench.window.texts[LIMIT_FIELD_IDS[4]], "2");
    EXPECT_EQ(bench.window.texts[IDC_REFERENCE_WEIGHT], "1");
    // A value the program changes is shown.
    bench.dialog.Values().lineLimits[5] = 333;
    bench.dialog.ShowFields();
    EXPECT_EQ(bench.window.texts[LIMIT_FIELD_IDS[5]], "333");
    EXPECT_EQ(bench.window.texts[LIMIT_FIELD_IDS[4]], "2");
}

TEST_F(MainDialogTest, TheWindowsOwnWritesRaiseNoEdits) {
    bench.AttachScripted();
    bench.StartUp();  // no calibration file: the gate of "&Guardar" counts edits
    // The front-end reports every change, including those of ShowFields; the
    // window itself ignores them while it writes.
    bench.window.afterSetText = [&](int id) { bench.dialog.OnEditChange(id); };
    for (int round = 0; round < 2; ++round) {
        for (auto& limit : bench.dialog.Values().lineLimits) limit = static_cast<std::int16_t>(limit + 1);
        bench.dialog.ShowFields();
    }
    EXPECT_EQ(bench.window.texts[LIMIT_FIELD_IDS[0]], "2");
    EXPECT_EQ(bench.program.limitEditMask, 0);
    for (int id : LIMIT_FIELD_IDS) bench.Type(id, "5");
    EXPECT_EQ(bench.program.limitEditMask, 0xFF);
}

TEST(ParseWholeNumber, Limits) {
    EXPECT_EQ(ui::ParseWholeNumber("32767"), std::optional<std::int16_t>(32767));
    EXPECT_EQ(ui::ParseWholeNumber("-32768"), std::optional<std::int16_t>(-32768));
    EXPECT_FALSE(ui::ParseWholeNumber("32768").has_value());
    EXPECT_FALSE(ui::ParseWholeNumber("-32769").has_value());
    EXPECT_FALSE(ui::ParseWholeNumber("99999999999999999999").has_value());
    EXPECT_FALSE(ui::ParseWholeNumber("+").has_value());
    EXPECT_FALSE(ui::ParseWholeNumber("1 2").has_value());
    EXPECT_EQ(ui::ParseWholeNumber("007"), std::optional<std::int16_t>(7));
}

// ---- events

TEST_F(MainDialogTest, DisabledButtonsCannotBePressed) {
    bench.AttachScripted();
    bench.StartUp();  // Unconfigured: "&Empezar Trabajo" disabled
    bench.Press(IDC_START_WORK);
    EXPECT_FALSE(bench.window.TimerRunning(TIMER_WORK));
    bench.Press(IDC_STOP_TEST);
    EXPECT_TRUE(bench.window.IsControlEnabled(IDC_START_TEST));
    EXPECT_FALSE(bench.window.IsControlEnabled(IDC_START_WORK));
}

TEST_F(MainDialogTest, TimerDispatchAndTheAboutItem) {
    sim::ScriptedDevice& scale = bench.AttachScripted();
    bench.StoreCalibration(2.0f, {});
    bench.StartUp();
    // Id 3 reads a status packet and refreshes; ids other than 1 and 3 do
    // nothing of the program's own.
    scale.QueuePacket({1, 0, 0, 0});
    bench.dialog.OnTimer(2);
    EXPECT_EQ(bench.window.texts[IDC_STATE], "");
    bench.dialog.OnTimer(TIMER_WORK);
    EXPECT_EQ(bench.window.texts[IDC_STATE], "Tomando Taras");
    // Id 1 reads the weight.
    scale.QueuePacket({0, 42});
    bench.dialog.OnTimer(TIMER_TEST);
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "42");

    EXPECT_TRUE(bench.dialog.OnSysCommand(16));
    EXPECT_TRUE(bench.dialog.OnSysCommand(16 | 0x3));  // low bits are ignored
    EXPECT_EQ(bench.window.aboutBoxes, 2);
    EXPECT_FALSE(bench.dialog.OnSysCommand(0xF020));  // minimise: the platform's
    EXPECT_EQ(bench.window.aboutBoxes, 2);
}

TEST_F(MainDialogTest, ATickIsNeverHandledInsideAnother) {
    sim::ScriptedDevice& scale = bench.AttachScripted();
    bench.StoreCalibration(2.0f, {});
    bench.StartUp();
    bench.Press(IDC_START_WORK);
    scale.QueuePacket({2, 95, 0, 1});
    scale.QueuePacket({2, 95, 0, 1});
    // Something inside the tick's refresh delivers another tick: dropped.
    int nested = 0;
    bench.window.afterSetText = [&](int) {
        ++nested;
        bench.dialog.OnTimer(TIMER_WORK);
    };
    bench.dialog.OnTimer(TIMER_WORK);
    bench.window.afterSetText = nullptr;
    EXPECT_GT(nested, 0);
    EXPECT_EQ(bench.dialog.Values().statistics.totalCount, 1u);
    EXPECT_EQ(scale.QueuedPackets(), 1u);
}

TEST_F(MainDialogTest, TicksGoOnBehindAMessageBox) {
    sim::ScriptedDevice& scale = bench.AttachScripted();
    bench.StoreCalibration(2.0f, {});
    bench.StartUp();
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, 0xE0000004);
    bench.window.whileMessageOpen = [&](const testing_support::MessageRecord&) { bench.Tick(TIMER_WORK); };
    bench.Press(IDC_START_WORK);
    scale.QueuePacket({2, 95, 0, 1});
    bench.Press(IDC_RESTART);  // its failure box is open while the tick runs
    EXPECT_EQ(bench.window.messages.back().text, "No pudo enviarse el comando");
    EXPECT_EQ(bench.dialog.Values().statistics.totalCount, 1u);
    EXPECT_EQ(bench.window.texts[IDC_TOTAL_COUNT], "1");
}

}  // namespace
