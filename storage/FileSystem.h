// Files as the program sees them: whole-file reads and writes that replace a
// file in one step, behind an interface that tests and fuzzers substitute.
//
// The program names its files the Windows way ("c:\velsor\usb.ini"). On
// Windows such a path is used as it is; on POSIX systems the drive C: is a
// folder of the user's own (see DriveCRoot), so the same path works there.
// Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace storage {

// The folder that stands for the drive C: on POSIX systems: the value of
// QUELMAR_DRIVE_C when it is set and not empty, otherwise
// $XDG_DATA_HOME/quelmar/drive_c, otherwise $HOME/.local/share/quelmar/drive_c.
// Nothing is created. On Windows it is "C:\".
std::string DriveCRoot();

// A path on the drive C:, one that starts with "C:\", "c:\", "C:/" or "c:/".
bool IsDriveCPath(std::string_view path);

// On Windows the path unchanged. On POSIX a path that starts with "C:\",
// "c:\", "C:/" or "c:/" is moved under DriveCRoot() with its backslashes
// turned into slashes; any other path is returned unchanged.
std::string MapPath(std::string_view path);

// Why a file could not be read or written, for messages that say so.
enum class FileFailure { None, NotFound, FolderMissing, ReadOnly, Denied, DiskFull, Damaged, Other };

// The cause in Spanish, to follow a colon: "la carpeta no existe".
std::string_view FileFailureText(FileFailure failure);
// "<what> <path>: <cause>.", for example "No se pudo guardar el archivo de
// límites C:\velsor\a.lim: el disco está lleno."
std::string FileFailureMessage(std::string_view what, std::string_view path, FileFailure failure);

class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;

    // The first maxBytes bytes of the file (fewer when it is shorter), or
    // nothing when the file cannot be opened or read.
    [[nodiscard]] virtual std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path,
                                                                            std::size_t maxBytes) = 0;

    // Makes the file hold exactly these bytes. The bytes go to a temporary
    // file in the same folder first, which then takes the file's place in one
    // step, so a failure at any point leaves the previous file as it was and
    // no temporary behind. Never creates the folder. A file marked read-only
    // is not replaced.
    [[nodiscard]] virtual bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) = 0;

    // Why the last ReadFile or ReplaceFile that failed did (None before any).
    FileFailure LastFailure() const { return lastFailure_; }

protected:
    void SetFailure(FileFailure failure) { lastFailure_ = failure; }

private:
    FileFailure lastFailure_ = FileFailure::None;
};

// The process-wide file system of the machine; paths go through MapPath.
FileSystem& RealFileSystem();

}  // namespace storage
