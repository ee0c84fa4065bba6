#include "ui/terminal/TerminalLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/ControlIds.h"
#include "ui/terminal/TerminalFrontEnd.h"

namespace ui::terminal {
namespace {

std::size_t IndexOf(const DialogTemplate& d, int id) { return static_cast<std::size_t>(FindControl(d, id) - d.controls.data()); }

std::size_t IndexOfText(const DialogTemplate& d, std::string_view text) {
    for (std::size_t i = 0; i < d.controls.size(); ++i)
        if (d.controls[i].text == text) return i;
    return d.controls.size();
}

// The main window in terminals of 80 columns and the rows given: the
// smallest one taken (80 x 24, the usual default) and a roomier one.
class MainLayout : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { ASSERT_TRUE(layout.fits); }
    const CellRect& Cell(int id) const { return layout.cells[IndexOf(dialog, id)]; }
    const DialogTemplate& dialog = MainDialogTemplate();
    const int rows = DialogRows(GetParam());
    const TerminalLayout layout = ComputeTerminalLayout(dialog, MIN_COLUMNS, rows);
};

INSTANTIATE_TEST_SUITE_P(TerminalRows, MainLayout, ::testing::Values(MIN_ROWS, 30));

TEST_P(MainLayout, EveryControlIsWhollyVisible) {
    ASSERT_EQ(layout.cells.size(), dialog.controls.size());
    for (std::size_t i = 0; i < layout.cells.size(); ++i) {
        const CellRect& r = layout.cells[i];
        SCOPED_TRACE(std::string(dialog.controls[i].text) + " id " + std::to_string(dialog.controls[i].id));
        EXPECT_GE(r.row, 0);
        EXPECT_GE(r.col, 0);
        EXPECT_LE(r.Right(), MIN_COLUMNS - 1);
        EXPECT_LE(r.Bottom(), rows - 1);
        EXPECT_GE(r.cols, MinimumColumns(dialog.controls[i])) << "buttons with brackets, titles between corners";
    }
    // The title bar above, the simulator's state and keys and the key help
    // below.
    EXPECT_LE(DIALOG_FIRST_ROW + layout.rows + BOTTOM_ROWS, GetParam());
}

TEST_P(MainLayout, NoTwoControlsOrTitlesShareACellAndFramesMeetOnlyFrames) {
    // A group box paints its frame and its title, any other control its
    // whole rectangle. Two frames may share border cells (they are drawn
    // joined) and a title may run along another frame's edge, but neither a
    // control nor a title covers a corner or a side of a frame.
    std::map<std::pair<int, int>, std::size_t> painted;  // controls and titles
    std::map<std::pair<int, int>, std::size_t> sides;    // corners and sides of frames
    const auto name = [&](std::size_t i) { return "\"" + std::string(dialog.controls[i].text) + "\""; };
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
        const CellRect& r = layout.cells[i];
        if (dialog.controls[i].kind != ControlKind::GroupBox) {
            for (int row = r.row; row <= r.Bottom(); ++row)
                for (int col = r.col; col <= r.Right(); ++col) {
                    const auto [it, inserted] = painted.emplace(std::pair{row, col}, i);
                    EXPECT_TRUE(inserted) << name(i) << " and " << name(it->second) << " at " << row << ", " << col;
                }
            continue;
        }
        const int title = DisplayWidth(ParseMnemonic(dialog.controls[i].text).display);
        for (int col = r.col + 1; col <= r.col + title; ++col) {
            const auto [it, inserted] = painted.emplace(std::pair{r.row, col}, i);
            EXPECT_TRUE(inserted) << name(i) << " and " << name(it->second) << " at " << r.row << ", " << col;
        }
        for (int row = r.row; row <= r.Bottom(); ++row)
            for (const int col : {r.col, r.Right()}) sides.emplace(std::pair{row, col}, i);
    }
    for (const auto& [cell, i] : sides) {
        const auto other = painted.find(cell);
        EXPECT_TRUE(other == painted.end())
            << "the frame of " << name(i) << " runs into " << (other == painted.end() ? "" : name(other->second))
            << " at " << cell.first << ", " << cell.second;
    }
    // Nothing else may cross a frame's top or bottom edge either.
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
        if (dialog.controls[i].kind != ControlKind::GroupBox) continue;
        const CellRect& r = layout.cells[i];
        for (int col = r.col; col <= r.Right(); ++col)
            for (const int row : {r.row, r.Bottom()}) {
                const auto other = painted.find({row, col});
                if (other == painted.end() || dialog.controls[other->second].kind == ControlKind::GroupBox) continue;
                ADD_FAILURE() << name(other->second) << " lies on the frame of " << name(i) << " at " << row << ", "
                              << col;
            }
    }
}

TEST_P(MainLayout, GroupBoxesStillFrameWhatTheyFrameInTheTemplate) {
    int framed = 0;
    for (std::size_t g = 0; g < dialog.controls.size(); ++g) {
        for (std::size_t c = 0; c < dialog.controls.size(); ++c) {
            if (!GroupContains(dialog.controls[g], dialog.controls[c])) continue;
            ++framed;
            const CellRect& outer = layout.cells[g];
            const CellRect& inner = layout.cells[c];
            SCOPED_TRACE(std::string(dialog.controls[g].text) + " around " + std::string(dialog.controls[c].text));
            EXPECT_GT(inner.row, outer.row);
            EXPECT_LT(inner.Bottom(), outer.Bottom());
            EXPECT_GT(inner.col, outer.col);
            EXPECT_LT(inner.Right(), outer.Right());
        }
    }
    EXPECT_GT(framed, 40) << "\"Estadísticas\" alone frames dozens of controls";
}

TEST_P(MainLayout, EachLineKeepsItsLabelFiguresAndLimitOnOneRowInTheirColumnsEvenlySpaced) {
    int previousRow = -1;
    std::set<int> spacings;
    for (int line = 0; line < 9; ++line) {
        const std::string label = line < 8 ? "Linea " + std::to_string(line + 1) : "Totales";
        SCOPED_TRACE(label);
        const CellRect& text = layout.cells[IndexOfText(dialog, label)];
        const CellRect& count = Cell(platform::IDC_LINE_COUNT_1 + line);
        const CellRect& kilograms = Cell(platform::IDC_LINE_KILOGRAMS_1 + line);
        EXPECT_GT(text.row, previousRow);
        if (previousRow >= 0) spacings.insert(text.row - previousRow);
        EXPECT_EQ(count.row, text.row);
        EXPECT_EQ(kilograms.row, text.row);
        EXPECT_LT(text.col, count.col);
        EXPECT_LT(count.col, kilograms.col);
        if (line < 8) {
            EXPECT_EQ(Cell(platform::LIMIT_FIELD_IDS[line]).row, text.row);
            EXPECT_LT(kilograms.col, Cell(platform::LIMIT_FIELD_IDS[line]).col);
            EXPECT_LT(Cell(platform::LIMIT_FIELD_IDS[line]).col, Cell(platform::IDC_EXIT).col);
        }
        previousRow = text.row;
    }
    EXPECT_EQ(spacings.size(), 1u) << "lines 1 to 8 and the totals are as far apart as in the template";
    EXPECT_EQ(*spacings.begin(), GetParam() < 30 ? 1 : 2) << "one row a line where room is short";
}

TEST(TerminalLayoutTest, TheAboutBoxFitsItsWindowAndTooSmallAnAreaIsReportedNotOverdrawn) {
    const DialogTemplate& about = AboutDialogTemplate();
    const TerminalLayout layout = ComputeTerminalLayout(about, 52, 7);
    ASSERT_TRUE(layout.fits);
    const CellRect& text = layout.cells[IndexOfText(about, "Quelmar Versión 1.0")];
    EXPECT_GE(text.cols, DisplayWidth("Quelmar Versión 1.0"));
    EXPECT_LT(text.Right(), layout.cells[IndexOf(about, platform::IDC_ABOUT_OK)].col);

    EXPECT_FALSE(ComputeTerminalLayout(MainDialogTemplate(), 60, DIALOG_ROWS).fits);
    EXPECT_FALSE(ComputeTerminalLayout(MainDialogTemplate(), MIN_COLUMNS, 12).fits);
}

TEST(TerminalLayoutTest, TabOrderIsTheTablesOrderOfTabStopsAndSkipsUnusableStops) {
    const DialogTemplate& dialog = MainDialogTemplate();
    std::vector<int> ids;
    for (const std::size_t i : TabOrder(dialog)) ids.push_back(dialog.controls[i].id);
    EXPECT_EQ(ids, (std::vector<int>{1000, 1002, 1042, 1003, 1040, 1041, 1008, 1010, 1011, 1012, 1013, 1014, 1015,
                                     1016, 1036, 1037, 1045, 1035, 1044, 1050}));

    const std::vector<std::size_t> order = {3, 5, 8, 9};
    const auto usable = [](std::size_t i) { return i != 5 && i != 9; };
    EXPECT_EQ(NextTabStop(order, 3, true, usable), 8u);
    EXPECT_EQ(NextTabStop(order, 8, true, usable), 3u);   // 9 skipped, wraps
    EXPECT_EQ(NextTabStop(order, 3, false, usable), 8u);  // back from the first
    EXPECT_EQ(NextTabStop(order, static_cast<std::size_t>(-1), true, usable), 3u);
    EXPECT_EQ(NextTabStop(order, 3, true, [](std::size_t) { return false; }), static_cast<std::size_t>(-1));
}

TEST(TerminalLayoutTest, WidthsCountCharactersNotBytesNorTheMnemonicMark) {
    EXPECT_EQ(DisplayWidth("Peso Patrón (gramos)"), 20);
    EXPECT_EQ(MinimumColumns(*FindControl(MainDialogTemplate(), platform::IDC_CALIBRATE)), 13) << "[Calibración]";
}

}  // namespace
}  // namespace ui::terminal
