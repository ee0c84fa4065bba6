// UTF-8 (the program's texts) to UTF-16 (the W functions of Win32) and back.
// Accents then show correctly whatever the system's ANSI code page is.
#pragma once

#include <string>
#include <string_view>

namespace ui::win32 {

[[nodiscard]] std::wstring Utf8ToUtf16(std::string_view text);
[[nodiscard]] std::string Utf16ToUtf8(std::wstring_view text);

}  // namespace ui::win32
