#include "ui/terminal/FileDialogModel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "storage/FileSystem.h"
#include "ui/terminal/TerminalLayout.h"

namespace ui::terminal {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Wildcard match with '*' and '?' (a '?' matches one byte: the patterns the
// program uses are plain ASCII).
bool Match(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view patterns) {
    while (true) {
        const std::size_t semicolon = patterns.find(';');
        const std::string_view one = Trim(patterns.substr(0, semicolon));
        if (one == "*.*" || one == "*") return true;
        if (!one.empty() && Match(name, one)) return true;
        if (semicolon == std::string_view::npos) return false;
        patterns.remove_prefix(semicolon + 1);
    }
}

std::vector<std::string> ListFolder(const std::string& nativeFolder, std::string_view patterns) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(fs::path(nativeFolder), error);
    if (error) return names;
    for (const fs::directory_entry& entry : it) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::u8string u8 = entry.path().filename().u8string();
        std::string name(u8.begin(), u8.end());
        if (MatchesPattern(name, patterns)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string WithDefaultExtension(std::string_view name, std::string_view defaultExtension) {
    std::string result(name);
    if (defaultExtension.empty()) return result;
    const std::size_t slash = result.find_last_of("\\/");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (result.find('.', start) != std::string::npos) return result;
    if (defaultExtension.front() != '.') result += '.';
    result += defaultExtension;
    return result;
}

std::string ResolveTypedName(std::string_view folder, std::string_view typed) {
    typed = Trim(typed);
    if (storage::IsDriveCPath(typed) || (!typed.empty() && typed.front() == '/')) return std::string(typed);
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += typed;
    return path;
}

std::vector<std::string> WrapText(std::string_view text, int width) {
    std::vector<std::string> lines;
    width = std::max(width, 1);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view paragraph = text.substr(start, end - start);
        if (!paragraph.empty() && paragraph.back() == '\r') paragraph.remove_suffix(1);
        std::string line;
        std::size_t i = 0;
        bool any = false;
        while (i < paragraph.size()) {
            std::size_t wordEnd = paragraph.find(' ', i);
            if (wordEnd == std::string_view::npos) wordEnd = paragraph.size();
            std::string word(paragraph.substr(i, wordEnd - i));
            i = wordEnd + 1;
            if (word.empty()) continue;
            // A word longer than the line is cut.
            while (DisplayWidth(word) > width) {
                if (!line.empty()) {
                    lines.push_back(line);
                    line.clear();
                }
                std::size_t cut = 0;
                for (int cells = 0; cut < word.size(); ++cut) {
                    if ((static_cast<unsigned char>(word[cut]) & 0xC0) != 0x80) {
                        if (cells == width) break;
                        ++cells;
                    }
                }
                lines.push_back(word.substr(0, cut));
                word.erase(0, cut);
            }
            if (word.empty()) continue;
            if (!line.empty() && DisplayWidth(line) + 1 + DisplayWidth(word) > width) {
                lines.push_back(line);
                line.clear();
            }
            if (!line.empty()) line += ' ';
            line += word;
            any = true;
        }
        if (any || !line.empty() || paragraph.empty()) lines.push_back(line);
        if (end == text.size()) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace ui::terminal
