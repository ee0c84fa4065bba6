// Work mode with the shift store: each counted item stored as counted, the
// reset stored, the stored shift restored at start-up, failures shown once.
#include <gtest/gtest.h>

#include "scale/WorkMode.h"
#include "tests/support/OperationBench.h"

namespace {

using testing_support::MessageRecord;
using Boxes = std::vector<MessageRecord>;
const MessageRecord FAILURE{"sin disco", "Estadísticas", platform::MessageIcon::Stop, platform::MessageButtons::Ok};

// Keeps what it was given; its failure is waiting until taken.
struct RecordingStore final : storage::ShiftStore {
    const storage::ShiftFigures& Figures() const override { return figures; }
    void Record(const storage::CountedItem& item, const storage::ShiftFigures& after) override {
        items.push_back(item), figures = after;
    }
    void Reset() override { figures = {}, ++resets; }
    bool Durable() const override { return true; }
    std::string TakeFailure() override { return std::exchange(failure, {}); }
    std::vector<storage::CountedItem> items;
    storage::ShiftFigures figures;
    std::string failure;
    int resets = 0;
};

struct ShiftOperationsTest : ::testing::Test {
    void Tick(std::uint8_t weight, std::uint8_t lineByte) {
        bench.link.packets.push_back({2, weight, 0, lineByte, 0, 0, 0, 0});
        scale::ProcessStatus(context);
    }
    testing_support::OperationBench bench;
    RecordingStore store;
    scale::ScaleContext context{bench.window,  bench.fields, bench.modes, bench.values,
                                bench.program, bench.link,   bench.files, store};
};

TEST_F(ShiftOperationsTest, EachCountedItemIsStoredWithTheFiguresItMadeAndAFailureShownOnce) {
    bench.program.calibrationFactor = 1.7f;
    store.failure = FAILURE.text;
    Tick(95, 0x04);
    Tick(31, 0x80);
    Tick(50, 0x00);  // no line: nothing counted, nothing stored
    ASSERT_EQ(store.items.size(), 2u);
    const storage::CountedItem& item = store.items[1];
    EXPECT_EQ(std::tuple(item.line, item.weightCounts, item.calibrationFactor, item.kilograms),
              std::tuple(8, 31, 1.7f, 31 * static_cast<double>(1.7f) / 1000.0));
    EXPECT_EQ(store.figures, scale::ShiftFiguresOf(bench.values.statistics));
    EXPECT_EQ(store.figures.lineCounts[2] + store.figures.lineCounts[7], 2u);
    EXPECT_EQ(bench.window.messages, Boxes{FAILURE});

    bench.window.AnswerNext(platform::MessageResult::Cancel);
    scale::ConfirmReset(context);
    EXPECT_EQ(store.resets, 0);
    scale::ConfirmReset(context);
    EXPECT_EQ(store.resets, 1);
}

TEST_F(ShiftOperationsTest, StartUpRestoresAStoredShiftAsCountingWouldShowIt) {
    scale::RestoreShift(context);  // nothing stored: nothing said or shown
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_EQ(bench.fields.shows, 0);

    store.failure = FAILURE.text;
    store.figures = {{0, 0, 1233, 0, 0, 0, 0, 1}, 1234, {0, 0, 56.0, 0, 0, 0, 0, 0.775}, 56.775};
    scale::RestoreShift(context);
    const MessageRecord restored{"Se restauraron las estadísticas del turno anterior: 1234 piezas, 56.77 Kg.",
                                 "Estadísticas", platform::MessageIcon::Information, platform::MessageButtons::Ok};
    EXPECT_EQ(bench.window.messages, (Boxes{FAILURE, restored}));
    EXPECT_EQ(bench.fields.shows, 1);
    const scale::LineStatistics& s = bench.values.statistics;
    EXPECT_EQ(scale::ShiftFiguresOf(s), store.figures);
    EXPECT_EQ(s.lineCountText, (std::array<std::string, 8>{"0", "0", "1233", "0", "0", "0", "0", "1"}));
    EXPECT_EQ(s.lineKilogramsText, (std::array<std::string, 8>{"0", "0", "56.00", "0", "0", "0", "0", "0.78"}));
    // Counting goes on from the restored figures, formatted alike.
    Tick(10, 0x80);
    EXPECT_EQ(s.lineCountText[7], "2");
    EXPECT_EQ(s.totalCountText, "1235");
}

}  // namespace
