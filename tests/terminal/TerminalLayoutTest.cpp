#include "ui/terminal/TerminalLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "scale/ControlIds.h"
#include "ui/terminal/TerminalFrontEnd.h"

namespace ui::terminal {
namespace {

std::size_t IndexOf(const DialogTemplate& d, int id) { return static_cast<std::size_t>(FindControl(d, id) - d.controls.data()); }

std::size_t IndexOfText(const DialogTemplate& d, std::string_view text) {
    for (std::size_t i = 0; i < d.controls.size(); ++i)
        if (d.controls[i].text == text) return i;
    return d.controls.size();
}

class MainLayout : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(layout.fits); }
    const CellRect& Cell(int id) const { return layout.cells[IndexOf(dialog, id)]; }
    const DialogTemplate& dialog = MainDialogTemplate();
    const TerminalLayout layout = ComputeTerminalLayout(dialog, MIN_COLUMNS, DIALOG_ROWS);
};

TEST_F(MainLayout, EveryControlIsWhollyVisibleInTheSmallestTerminal) {
    ASSERT_EQ(layout.cells.size(), dialog.controls.size());
    for (std::size_t i = 0; i < layout.cells.size(); ++i) {
        const CellRect& r = layout.cells[i];
        SCOPED_TRACE(std::string(dialog.controls[i].text) + " id " + std::to_string(dialog.controls[i].id));
        EXPECT_GE(r.row, 0);
        EXPECT_GE(r.col, 0);
        EXPECT_LE(r.Right(), MIN_COLUMNS - 1);
        EXPECT_LE(r.Bottom(), DIALOG_ROWS - 1);
        EXPECT_GE(r.cols, MinimumColumns(dialog.controls[i])) << "buttons with brackets, titles between corners";
    }
    // The title bar above, the simulator's status and the key help below.
    EXPECT_LE(DIALOG_FIRST_ROW + layout.rows + STATUS_ROWS + 1, MIN_ROWS);
}

TEST_F(MainLayout, NoTwoControlsLabelsOrFramesShareACell) {
    // A group box paints its frame, any other control its whole rectangle.
    std::map<std::pair<int, int>, std::size_t> owner;
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
        const CellRect& r = layout.cells[i];
        for (int row = r.row; row <= r.Bottom(); ++row)
            for (int col = r.col; col <= r.Right(); ++col) {
                const bool border = row == r.row || row == r.Bottom() || col == r.col || col == r.Right();
                if (dialog.controls[i].kind == ControlKind::GroupBox && !border) continue;
                const auto [it, inserted] = owner.emplace(std::pair{row, col}, i);
                EXPECT_TRUE(inserted) << "\"" << dialog.controls[i].text << "\" and \""
                                      << dialog.controls[it->second].text << "\" both at " << row << ", " << col;
            }
    }
}

TEST_F(MainLayout, GroupBoxesStillFrameWhatTheyFrameInTheTemplate) {
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

TEST_F(MainLayout, EachLineKeepsItsLabelFiguresAndLimitOnOneRowInTheirColumns) {
    int previousRow = -1;
    for (int line = 0; line < 9; ++line) {
        const std::string label = line < 8 ? "Linea " + std::to_string(line + 1) : "Totales";
        SCOPED_TRACE(label);
        const CellRect& text = layout.cells[IndexOfText(dialog, label)];
        const CellRect& count = Cell(scale::IDC_LINE_COUNT_1 + line);
        const CellRect& kilograms = Cell(scale::IDC_LINE_KILOGRAMS_1 + line);
        EXPECT_GT(text.row, previousRow);
        EXPECT_EQ(count.row, text.row);
        EXPECT_EQ(kilograms.row, text.row);
        EXPECT_LT(text.col, count.col);
        EXPECT_LT(count.col, kilograms.col);
        if (line < 8) {
            EXPECT_EQ(Cell(scale::LIMIT_FIELD_IDS[line]).row, text.row);
            EXPECT_LT(kilograms.col, Cell(scale::LIMIT_FIELD_IDS[line]).col);
            EXPECT_LT(Cell(scale::LIMIT_FIELD_IDS[line]).col, Cell(scale::IDC_EXIT).col);
        }
        previousRow = text.row;
    }
}

TEST(TerminalLayoutTest, TheAboutBoxFitsItsWindowAndTooSmallAnAreaIsReportedNotOverdrawn) {
    const DialogTemplate& about = AboutDialogTemplate();
    const TerminalLayout layout = ComputeTerminalLayout(about, 52, 7);
    ASSERT_TRUE(layout.fits);
    const CellRect& text = layout.cells[IndexOfText(about, "Quelmar Versión 1.0")];
    EXPECT_GE(text.cols, DisplayWidth("Quelmar Versión 1.0"));
    EXPECT_LT(text.Right(), layout.cells[IndexOf(about, scale::IDC_ABOUT_OK)].col);

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
    EXPECT_EQ(MinimumColumns(*FindControl(MainDialogTemplate(), scale::IDC_CALIBRATE)), 13) << "[Calibración]";
}

}  // namespace
}  // namespace ui::terminal
