// The pure rules under the operations: packets, statistics arithmetic, limit rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <tuple>

#include "scale/LimitRules.h"
#include "scale/Protocol.h"
#include "scale/Statistics.h"

namespace scale {
namespace {

using Counts = LimitCounts;

TEST(Protocol, LineByteNamesALineOnlyWithExactlyOneBit) {
    for (int line = 1; line <= LINE_COUNT; ++line)
        EXPECT_EQ(DecodeLine(static_cast<std::uint8_t>(1u << (line - 1))), line);
    for (const std::uint8_t lineByte : {0x00, 0x03, 0x81, 0x18, 0xFF}) EXPECT_EQ(DecodeLine(lineByte), 0) << +lineByte;
    const std::uint8_t packet[8] = {2, 95, 0x77, 0x08, 0x55, 0, 0, 0};
    const StatusReading status = DecodeStatus(packet);
    EXPECT_EQ((std::array<int, 3>{status.state, status.weightCounts, status.line}), (std::array<int, 3>{2, 95, 4}));
}

TEST(Protocol, SetLimitsFillsBytesZeroToEightAndLeavesTheTail) {
    std::array<std::uint8_t, COMMAND_PACKET_SIZE> packet{};
    for (std::size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(0xA0 + i);
    EncodeSetLimits(packet.data(), {0, 50, 75, 100, 125, 150, 175, 200});
    EXPECT_EQ(packet, (std::array<std::uint8_t, 16>{2, 0, 50, 75, 100, 125, 150, 175, 200, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD,
                                                    0xAE, 0xAF}));
    EncodeCommand(packet.data(), CMD_RESTART);
    EXPECT_EQ(packet[0], 3);
    EXPECT_EQ(packet[1], 0);
}

TEST(LimitRules, CalibratedMeansAFiniteFactorAboveZero) {
    for (float factor :
         {0.0f, -0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        EXPECT_FALSE(IsCalibrated(factor)) << factor;
    for (float factor : {std::numeric_limits<float>::denorm_min(), 2.0f}) EXPECT_TRUE(IsCalibrated(factor)) << factor;
}

TEST(LimitRules, NoLimitAboveTheNextLinesEqualOnesAllowed) {
    EXPECT_TRUE(LimitsInOrder({300, 300, 300, 300, 300, 300, 300, 300}));
    EXPECT_TRUE(LimitsInOrder({0, 100, 150, 200, 250, 300, 350, 400}));
    EXPECT_FALSE(LimitsInOrder({200, 100, 150, 200, 250, 300, 350, 400}));
    EXPECT_FALSE(LimitsInOrder({0, 100, 200, 300, 400, 500, 700, 600}));
}

TEST(LimitRules, CountsTruncateTowardZeroInDoublePrecisionAndClampToTheByte) {
    const std::tuple<LineLimitsGrams, float, Counts> cases[] = {
        {{0, 100, 101, 250, 300, 450, 600, 637}, 2.5f, {0, 40, 40, 100, 120, 180, 240, 254}},
        // 3 g / 0.3f is 9.9999996 counts, so 9 (single precision would give 10).
        {{3, 7, 0, 0, 0, 0, 0, 0}, 0.3f, {9, 23, 0, 0, 0, 0, 0, 0}},
        {{7, 1, 3, 0, 0, 0, 0, 0}, 0.1f, {69, 9, 29, 0, 0, 0, 0, 0}},
        {{510, 511, 512, -1, -2, -32768, 32767, 1}, 2.0f, {255, 255, 255, 0, 0, 0, 255, 0}},
    };
    for (const auto& [grams, factor, counts] : cases) EXPECT_EQ(LimitsToCounts(grams, factor), counts) << factor;
}

TEST(Statistics, AnItemCountsOnItsOwnLineAndInTheTotalsOnly) {
    for (int line = 1; line <= LINE_COUNT; ++line) {
        LineStatistics s;
        CountItem(s, line, 95, 2.0f);
        CountItem(s, line, 255, 2.0f);
        for (int other = 1; other <= LINE_COUNT; ++other) {
            const auto i = static_cast<std::size_t>(other - 1);
            EXPECT_EQ(s.lineCountText[i], other == line ? "2" : "0") << line << " " << other;
            EXPECT_EQ(s.lineKilogramsText[i], other == line ? "0.70" : "0") << line << " " << other;
        }
        EXPECT_EQ(s.totalCountText, "2");
        EXPECT_EQ(s.totalKilogramsText, "0.70");
    }
    LineStatistics s;
    CountItem(s, 0, 95, 2.0f);
    CountItem(s, 9, 95, 2.0f);
    EXPECT_EQ(s.totalCount, 0u);
    // The totals are their own sums, never recomputed from the lines.
    s.lineKilograms[6] = 5.0;
    CountItem(s, 1, 95, 2.0f);
    EXPECT_EQ(s.totalKilogramsText, "0.19");
}

TEST(Statistics, KilogramsDoNotDriftOverAShiftAndReadAsPrintfWritesThem) {
    LineStatistics shift;  // 8 hours at 10 items a second: float sums would show 54851.23
    for (int i = 0; i < 288'000; ++i) CountItem(shift, 1, 95, 2.0f);
    EXPECT_EQ(shift.totalCountText, "288000");
    EXPECT_EQ(shift.totalKilogramsText, "54720.00");
    EXPECT_EQ(shift.lineKilogramsText[0], "54720.00");
    char expected[64];
    for (double tie : {0.005, 0.015, 0.125, 0.375, 2.675, 1e15 + 0.125}) {
        LineStatistics one;
        one.lineKilograms[0] = tie - 0.001;
        CountItem(one, 1, 1, 1.0f);
        std::snprintf(expected, sizeof expected, "%.2f", one.lineKilograms[0]);
        EXPECT_EQ(one.lineKilogramsText[0], expected) << tie;
    }
}

TEST(Statistics, ResetZeroesEveryNumberAndText) {
    LineStatistics s;
    for (int line = 1; line <= LINE_COUNT; ++line) CountItem(s, line, 200, 3.0f);
    ResetStatistics(s);
    const auto all = [](const LineStatistics& t) {
        return std::tie(t.lineCount, t.totalCount, t.lineKilograms, t.totalKilograms, t.lineCountText, t.totalCountText,
                        t.lineKilogramsText, t.totalKilogramsText);
    };
    EXPECT_EQ(all(s), all(LineStatistics{}));
}

}  // namespace
}  // namespace scale
