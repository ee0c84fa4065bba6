#include "ui/terminal/TerminalLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "scale/ControlIds.h"
#include "ui/terminal/TerminalFrontEnd.h"

namespace ui::terminal {
namespace {

// The cells each element really paints: a group box its frame, any other
// control its whole rectangle.
std::vector<std::pair<int, int>> PaintedCells(const ControlTemplate& c, const CellRect& r) {
    std::vector<std::pair<int, int>> cells;
    for (int row = r.row; row <= r.Bottom(); ++row)
        for (int col = r.col; col <= r.Right(); ++col) {
            const bool border = row == r.row || row == r.Bottom() || col == r.col || col == r.Right();
            if (c.kind != ControlKind::GroupBox || border) cells.emplace_back(row, col);
        }
    return cells;
}

std::size_t IndexOf(const DialogTemplate& d, int id) {
    for (std::size_t i = 0; i < d.controls.size(); ++i)
        if (d.controls[i].id == id) return i;
    return d.controls.size();
}

std::size_t IndexOfText(const DialogTemplate& d, std::string_view text) {
    for (std::size_t i = 0; i < d.controls.size(); ++i)
        if (d.controls[i].text == text) return i;
    return d.controls.size();
}

class MainLayout : public ::testing::Test {
protected:
    const DialogTemplate& dialog = MainDialogTemplate();
    const TerminalLayout layout = ComputeTerminalLayout(dialog, MIN_COLUMNS, DIALOG_ROWS);
};

TEST_F(MainLayout, EveryControlIsPlacedInsideTheSmallestTerminal) {
    ASSERT_TRUE(layout.fits);
    ASSERT_EQ(layout.cells.size(), dialog.controls.size());
    for (std::size_t i = 0; i < layout.cells.size(); ++i) {
        const CellRect& r = layout.cells[i];
        SCOPED_TRACE(std::string(dialog.controls[i].text) + " id " + std::to_string(dialog.controls[i].id));
        EXPECT_GE(r.row, 0);
        EXPECT_GE(r.col, 0);
        EXPECT_LE(r.Right(), MIN_COLUMNS - 1);
        EXPECT_LE(r.Bottom(), DIALOG_ROWS - 1);
        // Whole text visible: buttons with brackets, titles between corners.
        EXPECT_GE(r.cols, MinimumColumns(dialog.controls[i]));
    }
    // With the title bar above, the simulator's status and the key help
    // below: 80 x 30.
    EXPECT_LE(DIALOG_FIRST_ROW + layout.rows + STATUS_ROWS + 1, MIN_ROWS);
}

TEST_F(MainLayout, NoTwoControlsLabelsOrFramesShareACell) {
    ASSERT_TRUE(layout.fits);
    std::map<std::pair<int, int>, std::size_t> owner;
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
        for (const auto& cell : PaintedCells(dialog.controls[i], layout.cells[i])) {
            const auto [it, inserted] = owner.emplace(cell, i);
            EXPECT_TRUE(inserted) << "\"" << dialog.controls[i].text << "\" and \"" << dialog.controls[it->second].text
                                  << "\" both at row " << cell.first << ", column " << cell.second;
        }
    }
}

TEST_F(MainLayout, GroupBoxesStillFrameWhatTheyFrameInTheTemplate) {
    ASSERT_TRUE(layout.fits);
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
    // "Estadísticas" alone frames the labels, both columns, their group
    // boxes and two buttons: far more than a handful of relations.
    EXPECT_GT(framed, 40);
}

TEST_F(MainLayout, EachLineKeepsItsLabelFiguresAndLimitOnOneRowInOrder) {
    ASSERT_TRUE(layout.fits);
    int previousRow = -1;
    for (int line = 0; line < 9; ++line) {
        const std::string label = line < 8 ? "Linea " + std::to_string(line + 1) : "Totales";
        const int row = layout.cells[IndexOfText(dialog, label)].row;
        EXPECT_GT(row, previousRow) << label;
        EXPECT_EQ(layout.cells[IndexOf(dialog, scale::IDC_LINE_COUNT_1 + line)].row, row) << label;
        EXPECT_EQ(layout.cells[IndexOf(dialog, scale::IDC_LINE_KILOGRAMS_1 + line)].row, row) << label;
        if (line < 8) {
            EXPECT_EQ(layout.cells[IndexOf(dialog, scale::LIMIT_FIELD_IDS[line])].row, row) << label;
        }
        previousRow = row;
    }
}

TEST_F(MainLayout, LeftToRightOrderOfTheColumnsIsKept) {
    ASSERT_TRUE(layout.fits);
    const int label = layout.cells[IndexOfText(dialog, "Linea 1")].col;
    const int count = layout.cells[IndexOf(dialog, scale::IDC_LINE_COUNT_1)].col;
    const int kilograms = layout.cells[IndexOf(dialog, scale::IDC_LINE_KILOGRAMS_1)].col;
    const int limit = layout.cells[IndexOf(dialog, scale::IDC_LIMIT_1)].col;
    const int exit = layout.cells[IndexOf(dialog, scale::IDC_EXIT)].col;
    EXPECT_LT(label, count);
    EXPECT_LT(count, kilograms);
    EXPECT_LT(kilograms, limit);
    EXPECT_LT(limit, exit);
}

TEST(TerminalLayoutTest, AboutBoxFitsItsSmallWindow) {
    const DialogTemplate& about = AboutDialogTemplate();
    const TerminalLayout layout = ComputeTerminalLayout(about, 52, 7);
    ASSERT_TRUE(layout.fits);
    const std::size_t text = IndexOfText(about, "Quelmar Versión 1.0");
    const std::size_t button = IndexOf(about, scale::IDC_ABOUT_OK);
    EXPECT_GE(layout.cells[text].cols, DisplayWidth("Quelmar Versión 1.0"));
    EXPECT_LT(layout.cells[text].Right(), layout.cells[button].col);
}

TEST(TerminalLayoutTest, TooSmallAnAreaIsReportedNotOverdrawn) {
    EXPECT_FALSE(ComputeTerminalLayout(MainDialogTemplate(), 60, DIALOG_ROWS).fits);
    EXPECT_FALSE(ComputeTerminalLayout(MainDialogTemplate(), MIN_COLUMNS, 12).fits);
}

TEST(TerminalLayoutTest, TabOrderIsTheTablesOrderOfTabStops) {
    const DialogTemplate& dialog = MainDialogTemplate();
    std::vector<int> ids;
    for (const std::size_t i : TabOrder(dialog)) ids.push_back(dialog.controls[i].id);
    const std::vector<int> expected = {1000, 1002, 1042, 1003, 1040, 1041, 1008, 1010, 1011, 1012,
                                       1013, 1014, 1015, 1016, 1036, 1037, 1045, 1035, 1044, 1050};
    EXPECT_EQ(ids, expected);
}

TEST(TerminalLayoutTest, NextTabStopSkipsUnusableStopsAndWraps) {
    const std::vector<std::size_t> order = {3, 5, 8, 9};
    const auto usable = [](std::size_t i) { return i != 5 && i != 9; };
    EXPECT_EQ(NextTabStop(order, 3, true, usable), 8u);
    EXPECT_EQ(NextTabStop(order, 8, true, usable), 3u);   // 9 skipped, wraps
    EXPECT_EQ(NextTabStop(order, 3, false, usable), 8u);  // back from the first
    EXPECT_EQ(NextTabStop(order, static_cast<std::size_t>(-1), true, usable), 3u);
    EXPECT_EQ(NextTabStop(order, 3, true, [](std::size_t) { return false; }), static_cast<std::size_t>(-1));
}

TEST(TerminalLayoutTest, WidthsCountCharactersNotBytes) {
    EXPECT_EQ(DisplayWidth("Calibración"), 11);
    EXPECT_EQ(DisplayWidth("Peso Patrón (gramos)"), 20);
    // "&" is not drawn: "[Calibración]".
    EXPECT_EQ(MinimumColumns(*FindControl(MainDialogTemplate(), scale::IDC_CALIBRATE)), 13);
}

}  // namespace
}  // namespace ui::terminal
