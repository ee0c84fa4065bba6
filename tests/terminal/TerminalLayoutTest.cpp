#include "ui/terminal/TerminalLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "ui/ControlIds.h"
#include "ui/terminal/Drawing.h"

namespace ui::terminal {
namespace {

// The main window in 80 columns by 24 rows (the smallest taken) and by 30.
class MainLayout : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { ASSERT_TRUE(layout.fits); }
    const CellRect& Cell(int id) const { return layout.cells[FindControl(dialog, id) - dialog.controls.data()]; }
    const CellRect& Label(const std::string& text) const {
        const auto is = [&](const ControlTemplate& c) { return c.text == text; };
        return layout.cells[std::find_if(dialog.controls.begin(), dialog.controls.end(), is) - dialog.controls.begin()];
    }
    std::string Name(std::size_t i) const { return "\"" + std::string(dialog.controls[i].text) + "\""; }
    const DialogTemplate& dialog = MainDialogTemplate();
    const TerminalLayout layout = ComputeTerminalLayout(dialog, MIN_COLUMNS, DialogRows(GetParam()));
};
INSTANTIATE_TEST_SUITE_P(TerminalRows, MainLayout, ::testing::Values(24, 30));

TEST_P(MainLayout, EveryControlIsWhollyVisibleOnCellsOfItsOwnOffTheFramesAndInsideItsGroupBoxes) {
    // Room for the title bar above, the scale's state and keys and the help below.
    EXPECT_LE(layout.rows, GetParam() - 4);
    // A group box paints its frame and title, any other control its whole
    // rectangle. Only two frames may share border cells (drawn joined).
    std::map<std::pair<int, int>, std::size_t> painted;  // controls and titles
    int framed = 0;
    for (std::size_t i = 0; i < layout.cells.size(); ++i) {
        const CellRect& r = layout.cells[i];
        SCOPED_TRACE(Name(i));
        EXPECT_TRUE(r.row >= 0 && r.col >= 0 && r.Right() < MIN_COLUMNS);
        EXPECT_GE(r.cols, MinimumColumns(dialog.controls[i])) << "buttons with brackets, titles between corners";
        const bool group = dialog.controls[i].kind == ControlKind::GroupBox;
        const int titleEnd = r.col + DisplayWidth(ParseMnemonic(dialog.controls[i].text).display);
        for (int row = r.row; row <= (group ? r.row : r.Bottom()); ++row)
            for (int col = group ? r.col + 1 : r.col; col <= (group ? titleEnd : r.Right()); ++col) {
                const auto [it, inserted] = painted.emplace(std::pair{row, col}, i);
                EXPECT_TRUE(inserted) << "and " << Name(it->second) << " at " << row << ", " << col;
            }
        for (std::size_t g = 0; g < dialog.controls.size(); ++g) {
            if (!GroupContains(dialog.controls[g], dialog.controls[i])) continue;
            ++framed;
            const CellRect& outer = layout.cells[g];
            EXPECT_TRUE(r.row > outer.row && r.Bottom() < outer.Bottom() && r.col > outer.col &&
                        r.Right() < outer.Right())
                << "inside " << Name(g);
        }
    }
    EXPECT_GT(framed, 40) << "\"Estadísticas\" alone frames dozens of controls";
    for (std::size_t g = 0; g < dialog.controls.size(); ++g) {
        if (dialog.controls[g].kind != ControlKind::GroupBox) continue;
        const CellRect& r = layout.cells[g];
        for (int row = r.row; row <= r.Bottom(); ++row)
            for (int col = r.col; col <= r.Right(); ++col) {
                const bool edge = row == r.row || row == r.Bottom() || col == r.col || col == r.Right();
                const auto other = painted.find({row, col});
                if (!edge || other == painted.end() || other->second == g) continue;
                // A title may run along another frame's top or bottom edge.
                const bool title = dialog.controls[other->second].kind == ControlKind::GroupBox;
                EXPECT_TRUE(title && col != r.col && col != r.Right())
                    << Name(other->second) << " on the frame of " << Name(g) << " at " << row << ", " << col;
            }
    }
}

TEST_P(MainLayout, EachLineKeepsItsLabelFiguresAndLimitOnOneRowInTheirColumnsEvenlySpaced) {
    std::set<int> spacings;
    for (int line = 0, previous = -1; line < 9; ++line) {
        SCOPED_TRACE(line);
        const CellRect& text = Label(line < 8 ? "Linea " + std::to_string(line + 1) : "Totales");
        const CellRect& count = Cell(ui::IDC_LINE_COUNT_1 + line);
        const CellRect& kilograms = Cell(ui::IDC_LINE_KILOGRAMS_1 + line);
        EXPECT_TRUE(count.row == text.row && kilograms.row == text.row && text.col < count.col &&
                    count.col < kilograms.col);
        if (line < 8) {
            const CellRect& limit = Cell(ui::LIMIT_FIELD_IDS[line]);
            EXPECT_TRUE(limit.row == text.row && kilograms.col < limit.col && limit.col < Cell(ui::IDC_EXIT).col);
        }
        if (previous >= 0) spacings.insert(text.row - previous);
        previous = text.row;
    }
    EXPECT_EQ(spacings, std::set<int>{GetParam() < 30 ? 1 : 2}) << "as evenly as in the template; one row where short";
}

TEST(TerminalLayoutTest, TooSmallAnAreaIsReportedAndWidthsCountCharacters) {
    EXPECT_FALSE(ComputeTerminalLayout(MainDialogTemplate(), MIN_COLUMNS, 12).fits);
    EXPECT_EQ(MinimumColumns(*FindControl(MainDialogTemplate(), ui::IDC_CALIBRATE)), 13) << "[Calibración]";
}

}  // namespace
}  // namespace ui::terminal
