#include "storage/LimitsFile.h"

#include "platform/LittleEndian.h"

namespace storage {

std::array<std::uint8_t, LIMITS_FILE_SIZE> EncodeLimits(const std::array<std::int16_t, 8>& limits) {
    std::array<std::uint8_t, LIMITS_FILE_SIZE> bytes{};
    for (std::size_t i = 0; i < limits.size(); ++i) {
        platform::PutLe16(&bytes[2 * i], static_cast<std::uint16_t>(limits[i]));
    }
    return bytes;
}

bool DecodeLimits(std::span<const std::uint8_t> bytes, std::array<std::int16_t, 8>& limits) {
    if (bytes.size() < LIMITS_FILE_SIZE) {
        return false;
    }
    for (std::size_t i = 0; i < limits.size(); ++i) {
        limits[i] = static_cast<std::int16_t>(platform::GetLe16(&bytes[2 * i]));
    }
    return true;
}

bool WriteLimitsFile(FileSystem& fileSystem, std::string_view path, const std::array<std::int16_t, 8>& limits) {
    const auto bytes = EncodeLimits(limits);
    return fileSystem.ReplaceFile(path, bytes);
}

FileFailure ReadLimitsFile(FileSystem& fileSystem, std::string_view path, std::array<std::int16_t, 8>& limits) {
    const auto bytes = fileSystem.ReadFile(path, LIMITS_FILE_SIZE);
    if (!bytes) return fileSystem.LastFailure();
    return DecodeLimits(*bytes, limits) ? FileFailure::None : FileFailure::Damaged;
}

platform::FileDialogSettings LimitsFileDialog(platform::FileDialogKind kind) {
    platform::FileDialogSettings settings;
    settings.kind = kind;
    settings.initialFolder = std::string(FILE_DIALOG_FOLDER);
    settings.filters = {{"Archivos Límites USB(*.lim)", "*.lim"}, {"Todos los archivos(*.*)", "*.*"}};
    settings.defaultExtension = ".lim";
    return settings;
}

}  // namespace storage
