// The parts of the terminal's file dialog that need no terminal: which files
// a filter shows, the default extension, and how a path found on the disk is
// handed back in the program's own "C:\..." form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ui::terminal {

// Windows-style match, letters compared without case: "*.lim", "*.*"
// (everything, names without a dot included), "*"; several patterns may be
// separated by ';'.
bool MatchesPattern(std::string_view name, std::string_view patterns);

// The regular files of a folder that match the patterns, sorted by name; an
// empty list when the folder does not exist or cannot be read.
[[nodiscard]] std::vector<std::string> ListFolder(const std::string& nativeFolder, std::string_view patterns);

// The name with the default extension (".lim" or "lim") added when its last
// component has none.
std::string WithDefaultExtension(std::string_view name, std::string_view defaultExtension);

// The path the operator's typed name stands for, in the program's form:
// relative names go into `folder` (itself in the program's form, with or
// without a final backslash); absolute ones ("C:\x.lim", "/tmp/x.lim") stay.
std::string ResolveTypedName(std::string_view folder, std::string_view typed);

// Splits a text into lines of at most `width` cells, at spaces where it can
// and at the line breaks it holds.
std::vector<std::string> WrapText(std::string_view text, int width);

}  // namespace ui::terminal
