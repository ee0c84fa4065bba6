// Limits files: one set of the eight line limits under a name the operator
// chooses, 16 bytes, each limit a signed 16-bit little-endian value, line 1
// first, no header. Conventionally "*.lim" in "C:\velsor\".
#pragma once

#include "platform/WindowServices.h"
#include "storage/FileSystem.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace storage {

constexpr std::size_t LIMITS_FILE_SIZE = 16;
// Where every file dialog of the program starts.
constexpr std::string_view FILE_DIALOG_FOLDER = "C:\\velsor\\";

std::array<std::uint8_t, LIMITS_FILE_SIZE> EncodeLimits(const std::array<std::int16_t, 8>& limits);

// Needs at least 16 bytes (more are ignored); otherwise returns false and
// leaves `limits` untouched.
[[nodiscard]] bool DecodeLimits(std::span<const std::uint8_t> bytes, std::array<std::int16_t, 8>& limits);

[[nodiscard]] bool WriteLimitsFile(FileSystem& fileSystem, std::string_view path,
                                   const std::array<std::int16_t, 8>& limits);

// None when the limits were read; otherwise why not (Damaged: fewer than 16
// bytes), and the limits are unchanged. Values are taken as they are:
// neither their range nor their order is checked here.
[[nodiscard]] FileFailure ReadLimitsFile(FileSystem& fileSystem, std::string_view path,
                                         std::array<std::int16_t, 8>& limits);

// The save (kind Save) or open (kind Open) dialog for a limits file.
platform::FileDialogSettings LimitsFileDialog(platform::FileDialogKind kind);

}  // namespace storage
