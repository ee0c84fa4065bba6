#include "storage/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "storage/FileCalls.h"

namespace storage {

namespace {

namespace fs = std::filesystem;

fs::path NativePath(std::string_view utf8) {
    const std::string mapped = MapPath(utf8);
    return fs::path(std::u8string(mapped.begin(), mapped.end()));
}

// What an errno left by a failed call means to the operator. A missing
// folder shows up as ENOENT when a file is created in it; when a file is
// opened for reading, ENOENT is a missing file unless its folder is gone too.
FileFailure FailureOf(int error, bool creating, const fs::path& path) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: {
            std::error_code ec;
            const bool folderThere = fs::is_directory(path.parent_path().empty() ? "." : path.parent_path(), ec);
            return creating || !folderThere ? FileFailure::FolderMissing : FileFailure::NotFound;
        }
        case EROFS: return FileFailure::ReadOnly;
        case EACCES:
        case EPERM: return creating ? FileFailure::ReadOnly : FileFailure::Denied;
        case ENOSPC: return FileFailure::DiskFull;
        default: return FileFailure::Other;
    }
}

[[nodiscard]] bool WriteAll(FileCalls& calls, int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = calls.WriteSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads and replaces files with the low-level calls it is given.
class CallsFileSystem final : public FileSystem {
public:
    explicit CallsFileSystem(FileCalls& calls) : calls_(calls) {}

    std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path, std::size_t maxBytes) override {
        const fs::path native = NativePath(path);
        const int fd = calls_.OpenForReading(native);
        if (fd < 0) {
            SetFailure(FailureOf(errno, false, native));
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes;
        std::uint8_t chunk[4096];
        bool failed = false;
        while (bytes.size() < maxBytes) {
            const long n = calls_.ReadSome(fd, chunk, std::min(sizeof chunk, maxBytes - bytes.size()));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                failed = true;  // a folder, or an I/O error
                SetFailure(FailureOf(errno, false, native));
                break;
            }
            if (n == 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        // Nothing was written: a failed close loses nothing the caller needs.
        static_cast<void>(calls_.Close(fd));
        if (failed) {
            return std::nullopt;
        }
        return bytes;
    }

    bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) override {
        const fs::path target = NativePath(path);
        if (!target.has_filename()) {
            SetFailure(FileFailure::Other);
            return false;
        }
        // A folder in the target's place makes the final rename fail, after
        // which the temporary is removed like after any other failure.
        std::error_code ec;
        const fs::file_status status = fs::status(target, ec);
        // Writing over a file the user made read-only is refused, as the
        // system itself would refuse to open it for writing.
        if (fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
            SetFailure(FileFailure::ReadOnly);
            return false;
        }

        fs::path temporary;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = target;
            temporary += fs::path(u8"." + ToU8(std::to_string(calls_.ProcessId())) + u8"-" +
                                  ToU8(std::to_string(counter_.fetch_add(1))) + u8".tmp");
            fd = calls_.CreateExclusive(temporary);
            if (fd < 0 && errno != EEXIST) {
                SetFailure(FailureOf(errno, true, temporary));  // the folder is missing or not writable
                return false;
            }
        }
        if (fd < 0) {
            SetFailure(FileFailure::Other);
            return false;
        }

        // The bytes reach the disk before the temporary takes the file's
        // place: a crash in between must leave the old file or the new one,
        // never a renamed file whose bytes were still in the cache.
        // The first failure's errno says why (a full disk shows at the
        // write, or only at the flush or the close).
        int error = 0;
        const auto step = [&error](bool done) {
            if (!done && error == 0) error = errno != 0 ? errno : EIO;
            return done;
        };
        errno = 0;
        bool ok = step(WriteAll(calls_, fd, bytes));
        ok = step(calls_.FlushToDisk(fd)) && ok;
        ok = step(calls_.Close(fd)) && ok;
        ok = ok && step(calls_.Rename(temporary, target));
        if (!ok) {
            SetFailure(FailureOf(error, true, target));
            calls_.Remove(temporary);
            return false;
        }
        calls_.FlushFolder(target.parent_path());
        return true;
    }

private:
    static std::u8string ToU8(const std::string& s) { return std::u8string(s.begin(), s.end()); }

    FileCalls& calls_;
    std::atomic<unsigned long> counter_{0};
};

}  // namespace

std::string_view FileFailureText(FileFailure failure) {
    switch (failure) {
        case FileFailure::NotFound: return "el archivo no existe";
        case FileFailure::FolderMissing: return "la carpeta no existe";
        case FileFailure::ReadOnly: return "el archivo o la carpeta es de solo lectura";
        case FileFailure::Denied: return "no hay permiso para abrirlo";
        case FileFailure::DiskFull: return "el disco está lleno";
        case FileFailure::Damaged: return "el archivo está dañado o no es de este tipo";
        case FileFailure::None:
        case FileFailure::Other: break;
    }
    return "error del disco o del sistema de archivos";
}

std::string FileFailureMessage(std::string_view what, std::string_view path, FileFailure failure) {
    std::string text(what);
    text.append(" ").append(path).append(": ").append(FileFailureText(failure)).append(".");
    return text;
}

bool IsDriveCPath(std::string_view path) {
    return path.size() >= 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

std::unique_ptr<FileSystem> MakeFileSystem(FileCalls& calls) { return std::make_unique<CallsFileSystem>(calls); }

FileSystem& RealFileSystem() {
    static CallsFileSystem fileSystem(SystemFileCalls());
    return fileSystem;
}

}  // namespace storage
