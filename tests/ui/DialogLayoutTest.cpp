// The main window's layout table, checked against rows copied by hand from template 102.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "ui/ControlIds.h"
#include "ui/DialogLayout.h"

using namespace ui;

namespace {

TEST(DialogLayout, MainWindowInventory) {
    const DialogTemplate& main = MainDialogTemplate();
    EXPECT_EQ((std::vector<int>{main.cx, main.cy}), (std::vector<int>{323, 235}));
    EXPECT_EQ((std::vector<std::string_view>{main.caption, main.fontName}),
              (std::vector<std::string_view>{"Quelmar", "Times New Roman"}));
    std::set<int> ids;
    int groups = 0, labels = 0;
    for (const ControlTemplate& c : main.controls) {
        EXPECT_TRUE(c.id == ID_STATIC || ids.insert(c.id).second) << "duplicate id " << c.id;
        groups += c.kind == ControlKind::GroupBox;
        labels += c.id == ID_STATIC && c.kind == ControlKind::Static;
        EXPECT_LE(c.rect.x + c.rect.cx, main.cx) << c.text;
        EXPECT_LE(c.rect.y + c.rect.cy, main.cy) << c.text;
        EXPECT_NE(c.kind, ControlKind::DefaultPushButton) << "no default push button";
    }
    EXPECT_EQ(groups, 10);
    EXPECT_EQ(labels, 9);
    EXPECT_EQ(ids.size(), 11u + 9u + 21u + 1u);   // buttons, edit fields, figures, the work group box
    EXPECT_EQ(FindControl(main, 1009), nullptr);  // the ids jump from 1008 to 1010
}

TEST(DialogLayout, RowsOfTheTemplateAsWrittenOut) {
    const std::tuple<int, ControlKind, const char*, std::vector<int>, bool> rows[] = {
        // id, kind, text, rect, disabled
        {1000, ControlKind::PushButton, "&Salir", {238, 18, 71, 11}, false},
        {1002, ControlKind::PushButton, "&Empezar Trabajo", {239, 53, 71, 11}, true},
        {1037, ControlKind::PushButton, "C&argar", {172, 187, 42, 11}, false},
        {1035, ControlKind::PushButton, "G&uardar Estadistica", {80, 191, 71, 11}, false},
        {1044, ControlKind::PushButton, "Reempe&zar", {15, 218, 42, 11}, true},
        {1012, ControlKind::Edit, "", {182, 74, 23, 15}, false},
        {1050, ControlKind::Edit, "", {262, 171, 24, 12}, false},
        {1025, ControlKind::Static, "0", {55, 165, 33, 15}, false},
    };
    for (const auto& [id, kind, text, rect, disabled] : rows) {
        SCOPED_TRACE(id);
        const ControlTemplate* c = FindControl(MainDialogTemplate(), id);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->kind, kind);
        EXPECT_EQ(c->text, text);
        EXPECT_EQ((std::vector<int>{c->rect.x, c->rect.y, c->rect.cx, c->rect.cy}), rect);
        EXPECT_EQ((c->styles & STYLE_DISABLED) != 0, disabled);
    }
    std::vector<int> tabOrder;
    for (const ControlTemplate& c : MainDialogTemplate().controls)
        if (c.styles & STYLE_TABSTOP) tabOrder.push_back(c.id);
    EXPECT_EQ(tabOrder, (std::vector<int>{1000, 1002, 1042, 1003, 1040, 1041, 1008, 1010, 1011, 1012,
                                          1013, 1014, 1015, 1016, 1036, 1037, 1045, 1035, 1044, 1050}));
}

TEST(DialogLayout, Mnemonics) {
    const std::tuple<const char*, const char*, char, std::size_t> cases[] = {
        // text, display, letter, its index
        {"C&argar", "Cargar", 'a', 1},
        {"&Calibración", "Calibración", 'C', 0},
        {"Salt && pepper", "Salt & pepper", 0, std::string::npos},
        {"trailing&", "trailing", 0, std::string::npos}};
    for (const auto& [text, display, letter, index] : cases) {
        const Mnemonic m = ParseMnemonic(text);
        EXPECT_EQ(m.display, display);
        EXPECT_EQ(m.letter, letter) << text;
        EXPECT_EQ(m.index, index) << text;
    }
}

}  // namespace
