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

FolderListing ListFolder(const std::string& nativeFolder, std::string_view patterns) {
    namespace fs = std::filesystem;
    FolderListing listing;
    std::vector<std::string>& names = listing.names;
    std::error_code error;
    fs::directory_iterator it(fs::path(nativeFolder), error);
    if (error) {
        const bool missing = error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
        listing.state = missing ? FolderListing::State::Missing : FolderListing::State::Unreadable;
        return listing;
    }
    for (const fs::directory_entry& entry : it) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::u8string u8 = entry.path().filename().u8string();
        std::string name(u8.begin(), u8.end());
        if (MatchesPattern(name, patterns)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return listing;
}

std::string WithDefaultExtension(std::string_view name, std::string_view defaultExtension) {
    std::string result(name);
    if (defaultExtension.empty()) return result;
    const std::size_t slash = result.find_last_of("\\/");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (start == result.size() || result.find('.', start) != std::string::npos) return result;
    if (defaultExtension.front() != '.') result += '.';
    result += defaultExtension;
    return result;
}

std::string RefusedPath(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name.empty()) return "Escriba el nombre del archivo.";
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
            return "Un nombre de archivo no puede contener < > : \" / \\ | ? * ni caracteres de control.";
    // A device name stays a device whatever extension follows it.
    std::string base(name.substr(0, name.find('.')));
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool numbered =
        base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' && base[3] <= '9';
    if (numbered || base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return "\"" + std::string(name) + "\" no sirve: " + base + " es un dispositivo de Windows. Elija otro nombre.";
    if (name.back() == '.' || name.back() == ' ')
        return "Un nombre de archivo no puede terminar en punto ni en espacio.";
    std::size_t units = 0;  // UTF-16: two for a character past U+FFFF (four UTF-8 bytes)
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    if (units >= MAX_PATH_CHARACTERS)
        return "El nombre es demasiado largo: la ruta completa tendría " + std::to_string(units) +
               " caracteres y Windows admite como máximo " + std::to_string(MAX_PATH_CHARACTERS - 1) + ".";
    return {};
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
