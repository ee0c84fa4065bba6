// The layout table of the main window: what holds it together. The
// front-ends are checked against it in tests/win32 and tests/terminal, the
// starting button states through the window logic.
#include <gtest/gtest.h>

#include <set>

#include "scale/ControlIds.h"
#include "ui/DialogLayout.h"

using namespace ui;

namespace {

TEST(DialogLayout, MainWindowInventory) {
    const DialogTemplate& main = MainDialogTemplate();
    EXPECT_EQ(main.caption, "Quelmar");
    EXPECT_EQ(main.cx, 323);
    EXPECT_EQ(main.cy, 235);
    EXPECT_EQ(main.fontName, "Times New Roman");
    std::set<int> ids;
    int groups = 0, labels = 0;
    for (const ControlTemplate& c : main.controls) {
        if (c.id != ID_STATIC) {
            EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
        }
        if (c.kind == ControlKind::GroupBox) ++groups;
        if (c.id == ID_STATIC && c.kind == ControlKind::Static) ++labels;
        // Everything lies inside the window.
        EXPECT_LE(c.rect.x + c.rect.cx, main.cx) << c.text;
        EXPECT_LE(c.rect.y + c.rect.cy, main.cy) << c.text;
        EXPECT_NE(c.kind, ControlKind::DefaultPushButton) << "no default push button";
    }
    EXPECT_EQ(groups, 10);
    EXPECT_EQ(labels, 9);
    // 11 buttons, 9 edit fields, 21 figures and the work group box.
    EXPECT_EQ(ids.size(), 11u + 9u + 21u + 1u);
    const ControlTemplate* limit8 = FindControl(main, 1016);
    ASSERT_NE(limit8, nullptr);
    EXPECT_EQ(limit8->rect.y, 146);
    EXPECT_EQ(FindControl(main, 1009), nullptr);  // the ids jump from 1008 to 1010
}

TEST(DialogLayout, Mnemonics) {
    const struct {
        const char* text;
        const char* display;
        char letter;
    } cases[] = {{"C&argar", "Cargar", 'a'}, {"&Calibración", "Calibración", 'C'},
                 {"Salt && pepper", "Salt & pepper", 0}, {"trailing&", "trailing", 0}};
    for (const auto& c : cases) {
        const Mnemonic m = ParseMnemonic(c.text);
        EXPECT_EQ(m.display, c.display);
        EXPECT_EQ(m.letter, c.letter) << c.text;
    }
    EXPECT_EQ(ParseMnemonic("C&argar").index, 1u);
}

}  // namespace
