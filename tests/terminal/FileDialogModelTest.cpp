#include "ui/terminal/FileDialogModel.h"

#include <gtest/gtest.h>

#include <tuple>

namespace ui::terminal {
namespace {

using Lines = std::vector<std::string>;

TEST(FileDialogModelTest, NamesMatchPatternsLikeWindowsAndGetTheDefaultExtensionAndTheFolder) {
    // clang-format off
    const std::tuple<const char*, const char*, bool> patterns[] = {
        {"TURNO.LIM", "*.lim", true}, {"turno.lim.bak", "*.lim", false}, {"sin_extension", "*.*", true},
        {"a.est", "*.lim;*.est", true}, {"a1.lim", "a?.lim", true}, {"a12.lim", "a?.lim", false}};
    const std::tuple<const char*, const char*, const char*> extensions[] = {
        {"turno", "lim", "turno.lim"}, {"turno.txt", ".lim", "turno.txt"},
        {"C:\\a.b\\turno", ".lim", "C:\\a.b\\turno.lim"}, {"turno", "", "turno"}};
    // clang-format on
    for (const auto& [name, pattern, matches] : patterns)
        EXPECT_EQ(MatchesPattern(name, pattern), matches) << name << " " << pattern;
    for (const auto& [name, extension, result] : extensions) EXPECT_EQ(WithDefaultExtension(name, extension), result);
    EXPECT_EQ(ResolveTypedName("C:\\velsor", " a.lim "), "C:\\velsor\\a.lim");
    EXPECT_EQ(ResolveTypedName("C:\\velsor\\", "c:\\otra\\b.lim"), "c:\\otra\\b.lim");
    EXPECT_EQ(ResolveTypedName("C:\\velsor\\", "/tmp/b.lim"), "/tmp/b.lim");
}

TEST(FileDialogModelTest, TextIsWrappedAtSpacesAndAtItsLineBreaks) {
    EXPECT_EQ(WrapText("Ingrese un numero entre 150 y 600.", 16), (Lines{"Ingrese un", "numero entre 150", "y 600."}));
    EXPECT_EQ(WrapText("a\nb c", 10), (Lines{"a", "b c"}));
    EXPECT_EQ(WrapText("abcdefgh", 3), (Lines{"abc", "def", "gh"}));
    EXPECT_EQ(WrapText("Calibración lista", 11), (Lines{"Calibración", "lista"}));
}

}  // namespace
}  // namespace ui::terminal
