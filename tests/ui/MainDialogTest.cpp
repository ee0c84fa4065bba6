// The main window's logic through the recording window services: start-up
// and its messages, exit, the field exchange, the events of the window.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/ScaleTestBench.h"

using namespace scale;
using platform::MessageIcon;
using testing_support::ScaleTestBench;

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    // Start-up with the scale present and a calibration file.
    sim::ScriptedDevice& StartReady() {
        sim::ScriptedDevice& scale = bench.AttachScripted();
        bench.StoreCalibration(2.0f, {0, 100, 150, 200, 250, 300, 350, 400});
        bench.StartUp();
        EXPECT_FALSE(bench.window.closed.has_value());
        return scale;
    }
    ScaleTestBench bench;
};

// ---- start-up

TEST(MainDialogStartUp, EachFailedStepHasItsMessageAndEndsTheProgramThroughExit) {
    using Setup = std::function<void(ScaleTestBench&)>;
    const std::pair<const char*, Setup> cases[] = {
        {"No hay dispositivos USB conectados!", [](ScaleTestBench&) {}},
        {"Fallo el GetDescriptor",
         [](ScaleTestBench& b) {
             b.AttachScripted(0x1234, 0x5678);
             b.AttachScripted(0x0C70, 0x0001);  // the scale's vendor, another product
         }},
        {"No se pudo crear una lista de dispositivos",
         [](ScaleTestBench& b) {
             b.AttachScripted();
             b.kernel.SetFaultHook([](const char* call) -> platform::DWORD {
                 return std::string(call) == "SetupDiGetClassDevsA" ? 13 : 0;
             });
         }},
        {"No se pudo abrir el dispositivo",
         [](ScaleTestBench& b) {
             b.AttachScripted();  // it opens for the search but not for the configuration
             b.kernel.SetFaultHook([opens = 0](const char* call) mutable -> platform::DWORD {
                 return std::string(call) == "CreateFileA" && ++opens == 2 ? 2 : 0;
             });
         }},
        {"No se pudo configurar el dispositivo",
         [](ScaleTestBench& b) { b.AttachScripted().SetConfigurationStatus(0xE000101D); }},
        {"No se pudo bindear el pipe 0x81", [](ScaleTestBench& b) { b.AttachScripted().RefuseEndpoint(0x81); }},
        {"No se pudo bindear el pipe 0x02", [](ScaleTestBench& b) { b.AttachScripted().RefuseEndpoint(0x02); }},
    };
    for (const auto& [message, setup] : cases) {
        SCOPED_TRACE(message);
        ScaleTestBench b;
        setup(b);
        b.StartUp();
        ASSERT_EQ(b.window.messages.size(), 1u);
        EXPECT_EQ(b.window.messages[0].text, message);
        EXPECT_EQ(b.window.messages[0].caption, "Quelmar");
        EXPECT_EQ(b.window.messages[0].icon, MessageIcon::Stop);
        EXPECT_EQ(b.window.messages[0].buttons, platform::MessageButtons::Ok);
        EXPECT_EQ(b.window.closed, platform::ModalResult::Ok);
        // The exit closed whatever the connection had opened.
        EXPECT_EQ(b.kernel.DeviceHandleCount(), 0u);
        EXPECT_EQ(b.kernel.ListCount(), 0u);
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
    EXPECT_EQ(bench.window.texts[platform::IDC_REFERENCE_WEIGHT], "190");
    for (int id : platform::LIMIT_FIELD_IDS) EXPECT_EQ(bench.window.texts[id], "0");
    for (int id = platform::IDC_LINE_COUNT_1; id <= platform::IDC_TOTAL_KILOGRAMS; ++id) EXPECT_EQ(bench.window.texts[id], "0");
    for (int id : {platform::IDC_GRAMS, platform::IDC_COUNTS, platform::IDC_STATE}) EXPECT_EQ(bench.window.texts[id], "");
    EXPECT_EQ(bench.window.systemMenu, (std::vector<std::pair<int, std::string>>{{16, "&Acerca de quelmar..."}}));
    ASSERT_FALSE(bench.window.focused.empty());
    EXPECT_EQ(bench.window.focused.back(), platform::IDC_EXIT);
}

// ---- exit

TEST_F(MainDialogTest, ExitValidatesThenClosesTheLinkAndTheWindow) {
    StartReady();
    bench.Type(platform::IDC_REFERENCE_WEIGHT, "601");
    bench.Press(platform::IDC_EXIT);
    // Refused: the window, the link and the counting go on.
    EXPECT_FALSE(bench.window.closed.has_value());
    EXPECT_EQ(bench.window.messages.back().text, "Ingrese un numero entre 150 y 600.");
    ASSERT_FALSE(bench.window.focused.empty());
    EXPECT_EQ(bench.window.focused.back(), platform::IDC_REFERENCE_WEIGHT);
    EXPECT_TRUE(bench.readPipe.IsOpen());
    EXPECT_TRUE(bench.writePipe.IsOpen());
    EXPECT_TRUE(bench.device.IsOpen());

    bench.Type(platform::IDC_REFERENCE_WEIGHT, "600");
    bench.Press(platform::IDC_EXIT);
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Ok);
    EXPECT_FALSE(bench.readPipe.IsOpen());
    EXPECT_FALSE(bench.writePipe.IsOpen());
    EXPECT_FALSE(bench.device.IsOpen());
    EXPECT_EQ(bench.link.DeviceList(), nullptr);
}

TEST_F(MainDialogTest, EnterAndEscapeDoNothingTheCloseBoxEndsWithoutValidating) {
    StartReady();
    bench.Type(platform::IDC_REFERENCE_WEIGHT, "abc");
    const std::size_t messages = bench.window.messages.size();
    bench.dialog.OnAccept();
    bench.dialog.OnCancel();
    EXPECT_FALSE(bench.window.closed.has_value());
    bench.dialog.OnClose();
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Cancel);
    EXPECT_EQ(bench.window.messages.size(), messages);
}

// ---- field exchange

TEST_F(MainDialogTest, EachFieldTakesAWholeNumberInItsRange) {
    StartReady();
    const int limit = platform::LIMIT_FIELD_IDS[7];
    const char* const whole = "Ingrese un numero entero.";
    const struct {
        int field;
        const char* text;
        const char* prompt;  // nullptr: accepted
    } cases[] = {
        {platform::IDC_REFERENCE_WEIGHT, "149", "Ingrese un numero entre 150 y 600."},
        {platform::IDC_REFERENCE_WEIGHT, "601", "Ingrese un numero entre 150 y 600."},
        {platform::IDC_REFERENCE_WEIGHT, "150", nullptr},
        {platform::IDC_REFERENCE_WEIGHT, "600", nullptr},
        {limit, "-1", "Ingrese un numero entre 0 y 800."},
        {limit, "801", "Ingrese un numero entre 0 y 800."},
        {limit, "40000", whole},
        {limit, "abc", whole},
        {limit, "", whole},
        {limit, "0", nullptr},
        {limit, "800", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        bench.window.Type(platform::IDC_REFERENCE_WEIGHT, "190");
        bench.window.Type(limit, "400");
        bench.window.Type(c.field, c.text);
        bench.window.messages.clear();
        EXPECT_EQ(bench.dialog.ReadFields(), c.prompt == nullptr);
        if (!c.prompt) continue;
        ASSERT_EQ(bench.window.messages.size(), 1u);
        EXPECT_EQ(bench.window.messages[0].text, c.prompt);
        EXPECT_EQ(bench.window.messages[0].caption, "Quelmar");
        EXPECT_EQ(bench.window.messages[0].icon, MessageIcon::Exclamation);
        ASSERT_FALSE(bench.window.focused.empty());
        EXPECT_EQ(bench.window.focused.back(), c.field);
    }
    EXPECT_EQ(bench.dialog.Values().lineLimits[7], 800);
}

TEST(ParseWholeNumber, SixteenBitRange) {
    EXPECT_EQ(ui::ParseWholeNumber("32767"), std::optional<std::int16_t>(32767));
    EXPECT_EQ(ui::ParseWholeNumber("-32768"), std::optional<std::int16_t>(-32768));
    EXPECT_EQ(ui::ParseWholeNumber("007"), std::optional<std::int16_t>(7));
    EXPECT_EQ(ui::ParseWholeNumber(" +300 "), std::optional<std::int16_t>(300));
    for (const char* refused : {"32768", "-32769", "99999999999999999999", "+", "-", "1 2", "12a", "1.5"})
        EXPECT_FALSE(ui::ParseWholeNumber(refused).has_value()) << refused;
}

TEST_F(MainDialogTest, ValuesStoredBeforeAFailureKeepTheirNewContent) {
    StartReady();
    bench.window.Type(platform::LIMIT_FIELD_IDS[0], "10");
    bench.window.Type(platform::LIMIT_FIELD_IDS[1], "20");
    bench.window.Type(platform::LIMIT_FIELD_IDS[2], "x");
    bench.window.Type(platform::LIMIT_FIELD_IDS[3], "40");
    EXPECT_FALSE(bench.dialog.ReadFields());
    const auto& limits = bench.dialog.Values().lineLimits;
    EXPECT_EQ((std::array<int, 4>{limits[0], limits[1], limits[2], limits[3]}),
              (std::array<int, 4>{10, 20, 150, 200}));  // the third unparsable, the fourth never reached
    // Out of range is stored first, then refused, and all eight are parsed
    // before any is range-checked.
    bench.window.Type(platform::LIMIT_FIELD_IDS[2], "900");
    bench.window.Type(platform::LIMIT_FIELD_IDS[7], "1000");
    EXPECT_FALSE(bench.dialog.ReadFields());
    EXPECT_EQ(limits[2], 900);
    EXPECT_EQ(limits[7], 1000);
    ASSERT_FALSE(bench.window.focused.empty());
    EXPECT_EQ(bench.window.focused.back(), platform::LIMIT_FIELD_IDS[2]);
}

TEST_F(MainDialogTest, ShowFieldsNeverOverwritesWhatTheOperatorIsTyping) {
    StartReady();
    bench.window.Type(platform::LIMIT_FIELD_IDS[4], "2");  // half-typed "250"
    bench.window.Type(platform::IDC_REFERENCE_WEIGHT, "1");
    bench.dialog.Values().lineLimits[5] = 333;  // changed by the program: shown
    bench.dialog.ShowFields();
    EXPECT_EQ(bench.window.texts[platform::LIMIT_FIELD_IDS[4]], "2");
    EXPECT_EQ(bench.window.texts[platform::IDC_REFERENCE_WEIGHT], "1");
    EXPECT_EQ(bench.window.texts[platform::LIMIT_FIELD_IDS[5]], "333");
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
    EXPECT_EQ(bench.window.texts[platform::LIMIT_FIELD_IDS[0]], "2");
    EXPECT_EQ(bench.program.limitEditMask, 0);
    for (int id : platform::LIMIT_FIELD_IDS) bench.Type(id, "5");
    EXPECT_EQ(bench.program.limitEditMask, 0xFF);
}

// ---- events

TEST_F(MainDialogTest, DisabledButtonsCannotBePressed) {
    bench.AttachScripted();
    bench.StartUp();  // Unconfigured: "&Empezar Trabajo" disabled
    bench.Press(platform::IDC_START_WORK);
    bench.Press(platform::IDC_STOP_TEST);
    EXPECT_FALSE(bench.window.TimerRunning(platform::TIMER_WORK));
    EXPECT_TRUE(bench.window.IsControlEnabled(platform::IDC_START_TEST));
    EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_START_WORK));
}

TEST_F(MainDialogTest, TimerDispatchAndTheAboutItem) {
    sim::ScriptedDevice& scale = StartReady();
    // Id 3 reads a status packet and refreshes; ids other than 1 and 3 do
    // nothing of the program's own; id 1 reads the weight.
    scale.QueuePacket({1, 0, 0, 0});
    const int writesBefore = bench.window.setTextCalls;
    for (const int other : {0, 2, 4, 1001, -1}) bench.dialog.OnTimer(other);
    EXPECT_EQ(scale.QueuedPackets(), 1u) << "no exchange for a foreign timer";
    EXPECT_TRUE(scale.Writes().empty());
    EXPECT_EQ(bench.window.setTextCalls, writesBefore) << "no refresh either";
    bench.dialog.OnTimer(platform::TIMER_WORK);
    EXPECT_EQ(scale.QueuedPackets(), 0u);
    EXPECT_EQ(bench.window.texts[platform::IDC_STATE], "Tomando Taras");
    scale.QueuePacket({0, 42});
    bench.dialog.OnTimer(platform::TIMER_TEST);
    EXPECT_EQ(bench.window.texts[platform::IDC_COUNTS], "42");

    EXPECT_TRUE(bench.dialog.OnSysCommand(16));
    EXPECT_TRUE(bench.dialog.OnSysCommand(16 | 0x3));  // low bits are ignored
    EXPECT_FALSE(bench.dialog.OnSysCommand(0xF020));   // minimise: the platform's
    EXPECT_EQ(bench.window.aboutBoxes, 2);
}

TEST_F(MainDialogTest, ATickIsNeverHandledInsideAnother) {
    sim::ScriptedDevice& scale = StartReady();
    bench.Press(platform::IDC_START_WORK);
    scale.QueuePacket({2, 95, 0, 1});
    scale.QueuePacket({2, 95, 0, 1});
    // Something inside the tick's refresh delivers another tick: dropped.
    int nested = 0;
    bench.window.afterSetText = [&](int) {
        ++nested;
        bench.dialog.OnTimer(platform::TIMER_WORK);
    };
    bench.dialog.OnTimer(platform::TIMER_WORK);
    bench.window.afterSetText = nullptr;
    EXPECT_GT(nested, 0);
    EXPECT_EQ(bench.dialog.Values().statistics.totalCount, 1u);
    EXPECT_EQ(scale.QueuedPackets(), 1u);
}

TEST_F(MainDialogTest, TheCloseBoxAsksFirstWhileWorkCountsAndClosesAtOnceOtherwise) {
    StartReady();
    bench.Press(platform::IDC_START_WORK);
    const std::size_t before = bench.window.messages.size();
    bench.window.AnswerNext(platform::MessageResult::Cancel);
    bench.dialog.OnClose();
    EXPECT_FALSE(bench.window.closed.has_value()) << "answered no: the shift goes on";
    ASSERT_EQ(bench.window.messages.size(), before + 1);
    const testing_support::MessageRecord& question = bench.window.messages.back();
    EXPECT_EQ(question.text, "¿Desea salir? Se perderán las estadísticas no guardadas");
    EXPECT_EQ(question.caption, "Quelmar");
    EXPECT_EQ(question.buttons, platform::MessageButtons::OkCancel);
    EXPECT_TRUE(bench.window.TimerRunning(platform::TIMER_WORK));

    bench.dialog.OnClose();  // answered yes
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Cancel);

    ScaleTestBench idle;  // outside work mode nothing is asked
    idle.AttachScripted();
    idle.StartUp();
    const std::size_t startup = idle.window.messages.size();
    idle.dialog.OnClose();
    EXPECT_EQ(idle.window.closed, platform::ModalResult::Cancel);
    EXPECT_EQ(idle.window.messages.size(), startup);
}

}  // namespace
