// Work mode through the whole program below the front-end: packets from a
// scripted device or the simulated scale, read by the real link on the
// emulated kernel, counted by the window's timer dispatch.
#include "scale/WorkMode.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"


namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using scale::LINE_COUNT;
using testing_support::MessageRecord;
using testing_support::ScaleTestBench;

constexpr std::uint8_t STATE_SYNC = 0;
constexpr std::uint8_t STATE_TARES = 1;
constexpr std::uint8_t STATE_WORKING = 2;

std::vector<std::uint8_t> Packet(std::uint8_t state, std::uint8_t weight, std::uint8_t lineByte) {
    return {state, weight, 0, lineByte, 0, 0, 0, 0};
}

std::vector<std::uint8_t> Item(std::uint8_t lineByte, std::uint8_t weight) {
    return Packet(STATE_WORKING, weight, lineByte);
}

std::uint8_t LineBit(int line) { return static_cast<std::uint8_t>(1u << (line - 1)); }

// Kilograms as the window shows them, from a whole number of grams, worked
// out in integers so that the expectation owes nothing to floating point.
std::string KilogramsText(std::uint64_t grams) {
    const std::uint64_t hundredths = (grams + 5) / 10;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llu.%02llu", static_cast<unsigned long long>(hundredths / 100),
                  static_cast<unsigned long long>(hundredths % 100));
    return buffer;
}

class WorkModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.StoreCalibration(2.0f, {});
        bench.StartUp();
        ASSERT_EQ(bench.program.calibrationFactor, 2.0f);
        ASSERT_TRUE(bench.window.IsControlEnabled(scale::IDC_START_WORK));
        bench.window.messages.clear();
        bench.Press(scale::IDC_START_WORK);
    }

    // The scale has the packet ready; the next tick takes it.
    void Deliver(std::vector<std::uint8_t> packet) {
        device.QueuePacket(std::move(packet), bench.clock.Now());
        bench.Tick(scale::TIMER_WORK);
    }

    std::string Shown(int id) const { return bench.window.GetControlText(id); }
    std::string CountShown(int line) const { return Shown(scale::IDC_LINE_COUNT_1 + line - 1); }
    std::string KilogramsShown(int line) const { return Shown(scale::IDC_LINE_KILOGRAMS_1 + line - 1); }
    const scale::LineStatistics& Statistics() { return bench.dialog.Values().statistics; }
    std::string State() { return bench.dialog.Values().stateText; }

    // Every statistic zero and every one of the eighteen boxes "0".
    void ExpectNothingCounted() {
        for (int line = 1; line <= LINE_COUNT; ++line) {
            EXPECT_EQ(CountShown(line), "0") << "line " << line;
            EXPECT_EQ(KilogramsShown(line), "0") << "line " << line;
            EXPECT_EQ(Statistics().lineCount[static_cast<std::size_t>(line - 1)], 0u) << "line " << line;
            EXPECT_EQ(Statistics().lineKilograms[static_cast<std::size_t>(line - 1)], 0.0) << "line " << line;
        }
        EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "0");
        EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0");
        EXPECT_EQ(Statistics().totalCount, 0u);
        EXPECT_EQ(Statistics().totalKilograms, 0.0);
    }

    void ExpectModeButtons(bool working) {
        EXPECT_EQ(bench.window.IsControlEnabled(scale::IDC_START_WORK), !working);
        EXPECT_EQ(bench.window.IsControlEnabled(scale::IDC_STOP_WORK), working);
        EXPECT_EQ(bench.window.IsControlEnabled(scale::IDC_CALIBRATE), !working);
        EXPECT_EQ(bench.window.IsControlEnabled(scale::IDC_START_TEST), !working);
        EXPECT_EQ(bench.window.IsControlEnabled(scale::IDC_STOP_TEST), false);
        EXPECT_EQ(bench.window.IsControlEnabled(scale::IDC_RESTART), working);
        EXPECT_EQ(bench.window.TimerRunning(scale::TIMER_WORK), working);
    }

    ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
};

// ---- the scale's state in words ------------------------------------------------

TEST_F(WorkModeTest, StateByteShowsTheScaleCycleInWords) {
    // The weight and line bytes of a packet outside state 2 mean nothing.
    Deliver(Packet(STATE_SYNC, 95, 0x01));
    EXPECT_EQ(State(), "Esperando sincronismo...");
    EXPECT_EQ(Shown(scale::IDC_STATE), "Esperando sincronismo...");
    ExpectNothingCounted();

    Deliver(Packet(STATE_TARES, 95, 0x01));
    EXPECT_EQ(Shown(scale::IDC_STATE), "Tomando Taras");
    ExpectNothingCounted();

    Deliver(Packet(5, 95, 0x01));
    EXPECT_EQ(Shown(scale::IDC_STATE), "Tomando Taras") << "an unknown state leaves the words as they were";
    ExpectNothingCounted();

    Deliver(Item(0x01, 95));
    EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando");
    EXPECT_EQ(CountShown(1), "1");

    Deliver(Packet(5, 95, 0x01));
    EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando");
    EXPECT_EQ(CountShown(1), "1") << "an unknown state counts nothing";
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "1");
}

// ---- decoding the line byte ------------------------------------------------------

TEST_F(WorkModeTest, EachSingleLineBitCountsOnItsOwnLineOnly) {
    const std::array<const char*, 8> kilograms = {"0.02", "0.04", "0.06", "0.08", "0.10", "0.12", "0.14", "0.16"};
    for (int line = 1; line <= LINE_COUNT; ++line) {
        // 10 counts per line number: each line's weight is its own.
        Deliver(Item(LineBit(line), static_cast<std::uint8_t>(10 * line)));
        for (int other = 1; other <= LINE_COUNT; ++other) {
            const bool counted = other <= line;
            EXPECT_EQ(CountShown(other), counted ? "1" : "0") << "after bit of line " << line << ", line " << other;
            EXPECT_EQ(KilogramsShown(other), counted ? kilograms[static_cast<std::size_t>(other - 1)] : "0")
                << "after bit of line " << line << ", line " << other;
        }
        EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), std::to_string(line));
    }
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0.72");  // (10 + 20 + ... + 80) counts at 2 g
}

TEST_F(WorkModeTest, LineByteWithoutExactlyOneBitCountsNothing) {
    for (const std::uint8_t lineByte : {0x00, 0x03, 0x81, 0xFF}) {
        Deliver(Packet(STATE_TARES, 0, 0));
        Deliver(Item(lineByte, 95));
        EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando") << "line byte " << int{lineByte};
        ExpectNothingCounted();
    }
}

TEST(WorkModeLineDecoding, OnlyOneHotBytesNameALine) {
    for (unsigned value = 0; value <= 0xFF; ++value) {
        const auto lineByte = static_cast<std::uint8_t>(value);
        const int expected = std::has_single_bit(lineByte) ? std::countr_zero(lineByte) + 1 : 0;
        EXPECT_EQ(scale::DecodeLine(lineByte), expected) << "line byte " << value;
    }
}

// ---- kilograms ---------------------------------------------------------------------

TEST_F(WorkModeTest, ItemWeightInKilogramsFromCountsAndFactor) {
    Deliver(Item(0x04, 95));  // 95 counts at 2 g: 0.19 kg on line 3
    EXPECT_EQ(CountShown(3), "1");
    EXPECT_EQ(KilogramsShown(3), "0.19");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "1");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0.19");

    Deliver(Item(0x02, 255));  // the heaviest item the byte can carry: 0.51 kg
    EXPECT_EQ(CountShown(2), "1");
    EXPECT_EQ(KilogramsShown(2), "0.51");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0.70");
}

TEST_F(WorkModeTest, TenItemsOnLineOneReadTenAndOnePointNine) {
    for (int i = 0; i < 10; ++i) Deliver(Item(0x01, 95));
    EXPECT_EQ(CountShown(1), "10");
    EXPECT_EQ(KilogramsShown(1), "1.90");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "10");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "1.90");
    EXPECT_EQ(Statistics().lineCount[0], 10u);
}

TEST_F(WorkModeTest, ItemTouchesOnlyItsLineAndTheTotals) {
    Deliver(Item(0x01, 95));
    // Marks on values this tick must not recompute: another line's text, and
    // a line's kilograms the totals must not be summed from.
    auto& statistics = bench.dialog.Values().statistics;
    statistics.lineCountText[4] = "x";
    statistics.lineKilograms[6] = 5.0;
    Deliver(Item(0x01, 95));
    EXPECT_EQ(CountShown(5), "x");
    EXPECT_EQ(KilogramsShown(7), "0");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0.38") << "the total is kept on its own";
    EXPECT_EQ(KilogramsShown(1), "0.38");
}

TEST(WorkModeKilograms, AShiftOfItemsIsSummedWithoutDrift) {
    // 8 hours at 10 items per second: 32-bit sums would show 54851.23.
    scale::LineStatistics statistics;
    for (int i = 0; i < 288'000; ++i) scale::CountItem(statistics, 1, 95, 2.0f);
    EXPECT_EQ(statistics.totalCountText, "288000");
    EXPECT_EQ(statistics.totalKilogramsText, "54720.00");
    EXPECT_EQ(statistics.lineCountText[0], "288000");
    EXPECT_EQ(statistics.lineKilogramsText[0], "54720.00");
}

TEST(WorkModeKilograms, CountingAllocatesNothingOnceTheTextsExist) {
    scale::LineStatistics statistics;
    scale::CountItem(statistics, 2, 95, 2.0f);
    const testing_support::AllocationScope scope;
    for (int i = 0; i < 10'000; ++i) scale::CountItem(statistics, 2, 200, 2.0f);
    EXPECT_EQ(scope.Allocations(), 0u);
    EXPECT_EQ(statistics.lineCountText[1], "10001");
    EXPECT_EQ(statistics.lineKilogramsText[1], "4000.19");
}

// ---- reads that bring no item ----------------------------------------------------

TEST_F(WorkModeTest, FailedReadChangesNothingButRefreshesTheWindow) {
    Deliver(Item(0x01, 95));
    // Texts the window lost somehow: the tick must put them back.
    bench.window.texts[scale::IDC_TOTAL_COUNT] = "stale";
    bench.window.texts[scale::IDC_STATE] = "stale";
    bench.Tick(scale::TIMER_WORK);  // nothing comes within the 100 ms wait
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "1");
    EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando");
    EXPECT_EQ(Statistics().lineCount[0], 1u);
    EXPECT_EQ(Statistics().totalCount, 1u);
    EXPECT_EQ(KilogramsShown(1), "0.19");
    EXPECT_TRUE(bench.window.messages.empty()) << "a quiet scale is not an error";
}

TEST_F(WorkModeTest, ShortPacketCountsNothing) {
    Deliver(Item(0x01, 95));
    // The previous packet's line byte still lies in the buffer behind these.
    Deliver({STATE_WORKING, 95, 0});
    Deliver({STATE_SYNC});
    EXPECT_EQ(Statistics().totalCount, 1u);
    EXPECT_EQ(CountShown(1), "1");
    EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando");
}

// ---- starting and stopping -----------------------------------------------------

TEST_F(WorkModeTest, StartAndStopSetTheButtonsAndTheTimer) {
    ExpectModeButtons(true);
    EXPECT_EQ(bench.window.timers.at(scale::TIMER_WORK), 100u);
    Deliver(Item(0x01, 95));

    bench.Press(scale::IDC_STOP_WORK);
    ExpectModeButtons(false);
    EXPECT_EQ(State(), "");
    EXPECT_EQ(Shown(scale::IDC_STATE), "") << "the state box empties at once";
    EXPECT_EQ(CountShown(1), "1") << "stopping keeps the statistics";
    EXPECT_EQ(KilogramsShown(1), "0.19");
}

TEST_F(WorkModeTest, WorkGoesOnCountingAfterStopAndStart) {
    Deliver(Item(0x01, 95));
    Deliver(Item(0x01, 95));
    bench.Press(scale::IDC_STOP_WORK);
    bench.Press(scale::IDC_START_WORK);
    ExpectModeButtons(true);
    Deliver(Item(0x01, 95));
    EXPECT_EQ(CountShown(1), "3");
    EXPECT_EQ(KilogramsShown(1), "0.57");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "3");
}

// Records the order of the button and timer steps, and whether the state
// text was already empty when they were taken.
class RecordingWindow : public testing_support::FakeWindowServices {
public:
    explicit RecordingWindow(const scale::DialogValues& values) : values_(values) {}
    void EnableControl(int id, bool on) override {
        steps.push_back((on ? "enable " : "disable ") + std::to_string(id));
        FakeWindowServices::EnableControl(id, on);
    }
    void StartTimer(int id, unsigned milliseconds) override {
        steps.push_back("start " + std::to_string(id) + " " + std::to_string(milliseconds));
        FakeWindowServices::StartTimer(id, milliseconds);
    }
    void StopTimer(int id) override {
        steps.push_back("stop " + std::to_string(id) + " state '" + values_.stateText + "'");
        FakeWindowServices::StopTimer(id);
    }
    std::vector<std::string> steps;

private:
    const scale::DialogValues& values_;
};

class RecordingFields : public scale::FieldExchange {
public:
    explicit RecordingFields(std::vector<std::string>& steps) : steps_(steps) {}
    bool ReadFields() override {
        steps_.push_back("ReadFields");
        return true;
    }
    void ShowFields() override { steps_.push_back("ShowFields"); }

private:
    std::vector<std::string>& steps_;
};

TEST_F(WorkModeTest, StartAndStopTakeTheirStepsInOrder) {
    scale::DialogValues& values = bench.dialog.Values();
    RecordingWindow window(values);
    RecordingFields fields(window.steps);
    scale::ScaleContext context{window, fields, values, bench.program, bench.link, bench.files};

    scale::StartWork(context);
    EXPECT_EQ(window.steps, (std::vector<std::string>{"start 3 100", "disable 1003", "disable 1040", "enable 1042",
                                                      "disable 1002", "enable 1044"}));

    values.stateText = "Trabajando";
    window.steps.clear();
    scale::StopWork(context);
    EXPECT_EQ(window.steps, (std::vector<std::string>{"stop 3 state ''", "enable 1003", "enable 1040",
                                                      "disable 1042", "enable 1002", "disable 1044", "ShowFields"}));
}

// ---- reset ------------------------------------------------------------------------

TEST_F(WorkModeTest, ResetAsksFirstAndCancelChangesNothing) {
    Deliver(Item(0x01, 95));
    Deliver(Item(0x80, 200));
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(scale::IDC_RESET);

    ASSERT_EQ(bench.window.messages.size(), 1u);
    const MessageRecord& box = bench.window.messages[0];
    EXPECT_EQ(box.text, "Se borraran los datos , quiere continuar?");
    EXPECT_EQ(box.caption, "Reset de Estadísticas");
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_EQ(box.buttons, MessageButtons::OkCancel);

    EXPECT_EQ(CountShown(1), "1");
    EXPECT_EQ(KilogramsShown(8), "0.40");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "2");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0.59");
    EXPECT_EQ(Statistics().totalCount, 2u);
    EXPECT_EQ(Statistics().lineCount[7], 1u);
}

TEST_F(WorkModeTest, ResetDuringWorkErasesWhatCameBehindItsBox) {
    Deliver(Item(0x01, 95));
    Deliver(Item(0x08, 95));
    std::uint32_t countedBehindBox = 0;
    std::string shownBehindBox;
    bench.window.whileMessageOpen = [&](const MessageRecord&) {
        Deliver(Item(0x08, 50));
        Deliver(Item(0x08, 50));
        countedBehindBox = Statistics().totalCount;
        shownBehindBox = Shown(scale::IDC_TOTAL_COUNT);
    };
    bench.window.AnswerNext(MessageResult::Ok);
    bench.Press(scale::IDC_RESET);
    bench.window.whileMessageOpen = nullptr;

    EXPECT_EQ(countedBehindBox, 4u) << "counting goes on while the question is open";
    EXPECT_EQ(shownBehindBox, "4");
    ExpectNothingCounted();
    EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando") << "the reset leaves the state words";
    ExpectModeButtons(true);

    Deliver(Item(0x10, 95));
    EXPECT_EQ(CountShown(5), "1");
    EXPECT_EQ(KilogramsShown(5), "0.19");
    EXPECT_EQ(CountShown(4), "0");
    EXPECT_EQ(KilogramsShown(4), "0") << "a line with nothing since the reset reads 0, not 0.00";
    EXPECT_EQ(Shown(scale::IDC_TOTAL_COUNT), "1");
    EXPECT_EQ(Shown(scale::IDC_TOTAL_KILOGRAMS), "0.19");
}

TEST_F(WorkModeTest, ResetOutsideWorkRestoresTheStartingFigures) {
    Deliver(Item(0x20, 120));
    bench.Press(scale::IDC_STOP_WORK);
    const std::size_t writesBefore = device.Writes().size();
    bench.Press(scale::IDC_RESET);  // unscripted: answered OK
    ExpectNothingCounted();
    for (int line = 1; line <= LINE_COUNT; ++line) {
        EXPECT_EQ(Statistics().lineCountText[static_cast<std::size_t>(line - 1)], "0");
        EXPECT_EQ(Statistics().lineKilogramsText[static_cast<std::size_t>(line - 1)], "0");
    }
    EXPECT_EQ(device.Writes().size(), writesBefore) << "a reset sends nothing to the scale";
}

// ---- restart -------------------------------------------------------------------

TEST_F(WorkModeTest, RestartSendsTheRestartCommand) {
    Deliver(Item(0x01, 95));
    const std::size_t writesBefore = device.Writes().size();
    bench.Press(scale::IDC_RESTART);
    ASSERT_EQ(device.Writes().size(), writesBefore + 1);
    EXPECT_EQ(device.Writes().back().size(), 16u);
    EXPECT_EQ(device.Writes().back()[0], 3);
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_EQ(CountShown(1), "1");
    EXPECT_EQ(Shown(scale::IDC_STATE), "Trabajando");
    ExpectModeButtons(true);
}

TEST_F(WorkModeTest, RestartThatCannotBeSentIsReported) {
    Deliver(Item(0x01, 95));
    // Refused by the device, then never taken at all (the wait times out).
    device.SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, 0xE000100A);
    bench.Press(scale::IDC_RESTART);
    device.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    bench.Press(scale::IDC_RESTART);

    ASSERT_EQ(bench.window.messages.size(), 2u);
    for (const MessageRecord& box : bench.window.messages) {
        EXPECT_EQ(box.text, "No pudo enviarse el comando");
        EXPECT_EQ(box.caption, "Reempezar");
        EXPECT_EQ(box.icon, MessageIcon::Stop);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
    }
    EXPECT_EQ(CountShown(1), "1");
    EXPECT_EQ(State(), "Trabajando");
    ExpectModeButtons(true);
}

// ---- a whole shift -------------------------------------------------------------

// Eight hours at 10 items per second against the simulated scale, through
// the real link, with the work timer firing every 100 ms of virtual time (a
// late tick is taken at the next period, as the platform's timer does). A
// twin of the scale, built with the same seed, tells which item went where
// and what it weighed, independently of the program.
TEST(WorkModeShift, EightHoursAtTenItemsPerSecondCountEveryItemOnceOnItsLine) {
    constexpr sim::Time PERIOD = 100'000;
    constexpr sim::Time SHIFT = 8LL * 3600 * 1'000'000;
    const std::array<std::uint8_t, 8> limits = {70, 82, 90, 96, 102, 110, 122, 255};

    sim::SimulatedScaleOptions options;
    options.seed = 20261205;
    options.itemsPerSecond = 10.0;
    // Polling takes one packet per 100 ms, exactly the mean item rate: the
    // controller's queue must absorb the jitter for this to keep up.
    options.queueCapacity = 4096;

    ScaleTestBench bench;
    sim::SimulatedScale& scale = bench.AttachSimulated(options);
    bench.StoreCalibration(2.0f, {});
    bench.StartUp();
    ASSERT_EQ(bench.program.calibrationFactor, 2.0f);

    sim::SimulatedScale twin(options);
    const sim::InterfaceSetting setting{0, 0, 16};
    ASSERT_EQ(twin.SetConfiguration(0, &setting, 1), 0u);
    std::array<std::uint8_t, 16> command{scale::CMD_SET_LIMITS};
    std::copy(limits.begin(), limits.end(), command.begin() + 1);
    // The limits reach both before the first item (sync and tares take 2.5 s).
    twin.Write(0x02, command.data(), 16, bench.clock.Now());
    ASSERT_TRUE(bench.link.SendLimits(limits, 200));
    ASSERT_EQ(scale.LastLimits(), limits);
    ASSERT_LT(bench.clock.Now(), options.syncDuration);

    std::array<std::uint64_t, 8> twinItems{};
    std::array<std::uint64_t, 8> twinGrams{};
    auto drainTwin = [&](sim::Time now) {
        sim::Packet packet;
        while (twin.TakePacket(0x81, now, packet)) {
            if (packet.bytes[0] != 2 || !std::has_single_bit(packet.bytes[3])) continue;
            const auto line = static_cast<std::size_t>(std::countr_zero(packet.bytes[3]));
            ++twinItems[line];
            twinGrams[line] += 2u * packet.bytes[1];
        }
    };

    bench.Press(scale::IDC_START_WORK);
    const sim::Time start = bench.clock.Now();
    const auto wallStart = std::chrono::steady_clock::now();
    std::uint64_t ticks = 0;
    std::uint32_t deepestQueue = 0;
    auto tick = [&] {
        const sim::Time now = bench.clock.Now();
        bench.clock.Advance((now / PERIOD + 1) * PERIOD - now);
        bench.dialog.OnTimer(scale::TIMER_WORK);
        ++ticks;
        deepestQueue = std::max(deepestQueue, scale.QueuedPackets());
        drainTwin(bench.clock.Now());
    };
    while (bench.clock.Now() - start < SHIFT) tick();

    // End of the shift: no more items; the reports still waiting are read.
    const sim::Time end = bench.clock.Now();
    scale.SetPaused(true, end);
    twin.SetPaused(true, end);
    for (int i = 0; i < 10'000 && scale.QueuedPackets() > 0; ++i) tick();
    drainTwin(bench.clock.Now());
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::cout << "[ shift    ] " << scale.ItemsProduced() << " items, " << ticks << " ticks, deepest queue "
              << deepestQueue << ", " << wallSeconds << " s of wall time\n";

    ASSERT_EQ(scale.QueuedPackets(), 0u);
    EXPECT_EQ(scale.ItemsDropped(), 0u);
    EXPECT_EQ(twin.ItemsDropped(), 0u);
    EXPECT_GT(scale.ItemsProduced(), 287'000u);
    EXPECT_EQ(scale.LineDelivered(), scale.LineTotals());

    const scale::LineStatistics& statistics = bench.dialog.Values().statistics;
    std::uint64_t totalGrams = 0;
    std::uint64_t linesUsed = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(twinItems[i], scale.LineTotals()[i]) << "line " << i + 1;
        EXPECT_EQ(statistics.lineCount[i], scale.LineTotals()[i]) << "line " << i + 1;
        EXPECT_EQ(bench.window.GetControlText(scale::IDC_LINE_COUNT_1 + static_cast<int>(i)),
                  std::to_string(twinItems[i]))
            << "line " << i + 1;
        EXPECT_EQ(bench.window.GetControlText(scale::IDC_LINE_KILOGRAMS_1 + static_cast<int>(i)),
                  KilogramsText(twinGrams[i]))
            << "line " << i + 1;
        totalGrams += twinGrams[i];
        if (twinItems[i] > 1000) ++linesUsed;
    }
    EXPECT_EQ(linesUsed, 8u) << "the limits spread the items over every line";
    EXPECT_EQ(statistics.totalCount, scale.ItemsProduced());
    EXPECT_EQ(bench.window.GetControlText(scale::IDC_TOTAL_COUNT), std::to_string(scale.ItemsProduced()));
    EXPECT_EQ(bench.window.GetControlText(scale::IDC_TOTAL_KILOGRAMS), KilogramsText(totalGrams));
    EXPECT_EQ(bench.window.GetControlText(scale::IDC_STATE), "Trabajando");
}

}  // namespace

TEST(WorkModeKilograms, TextsReadExactlyAsPrintfWouldWriteThem) {
    // Ties at the third decimal and large sums included: the texts must be
    // the "%.2f" digits whatever formats them.
    scale::LineStatistics statistics;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 20'000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const auto weight = static_cast<std::uint8_t>(seed >> 24);
        const float factor = i % 3 == 0 ? 0.125f : (i % 3 == 1 ? 2.0f : 2.3529413f);
        scale::CountItem(statistics, 1 + static_cast<int>(seed % 8), weight, factor);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.2f", statistics.totalKilograms);
        ASSERT_EQ(statistics.totalKilogramsText, expected) << i;
    }
    for (double tie : {0.005, 0.015, 0.125, 0.375, 2.675, 1e15 + 0.125}) {
        scale::LineStatistics one;
        one.lineKilograms[0] = tie - 0.001;
        scale::CountItem(one, 1, 1, 1.0f);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.2f", one.lineKilograms[0]);
        EXPECT_EQ(one.lineKilogramsText[0], expected) << tie;
    }
}
