// The parts of the terminal's file dialog that need no terminal: which files
// a filter shows, the default extension, and how a path found on the disk is
// handed back in the program's own "C:\..." form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ui::terminal {

// Windows-style match, letters compared without case: "*.lim", "*.*"
// (everything, names without a dot included), "*"; several patterns may be
// separated by ';'.
bool MatchesPattern(std::string_view name, std::string_view patterns);

// The regular files of a folder that match the patterns, sorted by name, and
// whether the folder was there to list.
struct FolderListing {
    enum class State { Listed, Missing, Unreadable };
    State state = State::Listed;
    std::vector<std::string> names;
};
[[nodiscard]] FolderListing ListFolder(const std::string& nativeFolder, std::string_view patterns);

// The name with the default extension (".lim" or "lim") added when its last
// component has none (and is not empty).
std::string WithDefaultExtension(std::string_view name, std::string_view defaultExtension);

// Windows' MAX_PATH, the closing NUL included: a path holds at most 259
// characters.
constexpr std::size_t MAX_PATH_CHARACTERS = 260;

// Why Windows would refuse a path (in the program's form) as a file's, in a
// sentence for the operator; empty when it takes it. The last component, the
// file name, must not be empty, hold < > : " / \ | ? * or a control
// character, be a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension) or end in a dot or a space; the whole path must stay under
// MAX_PATH_CHARACTERS, counted as Windows does (UTF-16 units).
std::string RefusedPath(std::string_view path);

// The path the operator's typed name stands for, in the program's form:
// relative names go into `folder` (itself in the program's form, with or
// without a final backslash); absolute ones ("C:\x.lim", "/tmp/x.lim") stay.
std::string ResolveTypedName(std::string_view folder, std::string_view typed);

// Splits a text into lines of at most `width` cells, at spaces where it can
// and at the line breaks it holds.
std::vector<std::string> WrapText(std::string_view text, int width);

}  // namespace ui::terminal
