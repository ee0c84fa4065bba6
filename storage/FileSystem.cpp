#include "storage/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace storage {

namespace {

namespace fs = std::filesystem;

[[maybe_unused]] std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

fs::path NativePath(std::string_view utf8) {
    const std::string mapped = MapPath(utf8);
    return fs::path(std::u8string(mapped.begin(), mapped.end()));
}

// Thin wrappers over the C runtime's descriptor calls, which differ only in
// name and in the width of the path between the two systems.
#ifdef _WIN32
int OpenForReading(const fs::path& path) { return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY); }
int CreateExclusive(const fs::path& path) {
    return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long ReadSome(int fd, std::uint8_t* data, std::size_t size) {
    return ::_read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 20)));
}
long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 20)));
}
[[nodiscard]] bool FlushToDisk(int fd) { return ::_commit(fd) == 0; }
[[nodiscard]] bool CloseDescriptor(int fd) { return ::_close(fd) == 0; }
long ProcessId() { return ::_getpid(); }
void FlushFolder(const fs::path&) {}
#else
int OpenForReading(const fs::path& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
int CreateExclusive(const fs::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long ReadSome(int fd, std::uint8_t* data, std::size_t size) { return static_cast<long>(::read(fd, data, size)); }
long WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}
[[nodiscard]] bool FlushToDisk(int fd) { return ::fsync(fd) == 0; }
[[nodiscard]] bool CloseDescriptor(int fd) { return ::close(fd) == 0; }
long ProcessId() { return static_cast<long>(::getpid()); }
// Makes the rename itself durable; a failure here changes nothing that the
// caller could act on, so it is not reported.
void FlushFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

[[nodiscard]] bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = WriteSome(fd, bytes.data() + done, bytes.size() - done);
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

class RealFileSystemImpl final : public FileSystem {
public:
    std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path, std::size_t maxBytes) override {
        const int fd = OpenForReading(NativePath(path));
        if (fd < 0) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes;
        std::uint8_t chunk[4096];
        bool failed = false;
        while (bytes.size() < maxBytes) {
            const long n = ReadSome(fd, chunk, std::min(sizeof chunk, maxBytes - bytes.size()));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                failed = true;  // a folder, or an I/O error
                break;
            }
            if (n == 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        // Nothing was written: a failed close loses nothing the caller needs.
        static_cast<void>(CloseDescriptor(fd));
        if (failed) {
            return std::nullopt;
        }
        return bytes;
    }

    bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) override {
        const fs::path target = NativePath(path);
        if (!target.has_filename()) {
            return false;
        }
        // A folder in the target's place makes the final rename fail, after
        // which the temporary is removed like after any other failure.
        std::error_code ec;
        const fs::file_status status = fs::status(target, ec);
        // Writing over a file the user made read-only is refused, as the
        // system itself would refuse to open it for writing.
        if (fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
            return false;
        }

        fs::path temporary;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = target;
            temporary += fs::path(u8"." + ToU8(std::to_string(ProcessId())) + u8"-" +
                                  ToU8(std::to_string(counter_.fetch_add(1))) + u8".tmp");
            fd = CreateExclusive(temporary);
            if (fd < 0 && errno != EEXIST) {
                return false;  // the folder is missing or not writable
            }
        }
        if (fd < 0) {
            return false;
        }

        bool ok = WriteAll(fd, bytes);
        ok = FlushToDisk(fd) && ok;
        ok = CloseDescriptor(fd) && ok;
        if (ok) {
            fs::rename(temporary, target, ec);
            ok = !ec;
        }
        if (!ok) {
            fs::remove(temporary, ec);
            return false;
        }
        FlushFolder(target.parent_path());
        return true;
    }

private:
    static std::u8string ToU8(const std::string& s) { return std::u8string(s.begin(), s.end()); }

    std::atomic<unsigned long> counter_{0};
};

}  // namespace

std::string DriveCRoot() {
#ifdef _WIN32
    return "C:\\";
#else
    std::string root = EnvironmentValue("QUELMAR_DRIVE_C");
    if (!root.empty()) {
        return root;
    }
    // Relative values of XDG_DATA_HOME are to be ignored, like an unset one.
    const std::string dataHome = EnvironmentValue("XDG_DATA_HOME");
    if (!dataHome.empty() && dataHome.front() == '/') {
        return dataHome + "/quelmar/drive_c";
    }
    const std::string home = EnvironmentValue("HOME");
    // Without a home folder, a folder under the current one rather than one
    // at the top of the file system.
    return (home.empty() ? std::string(".") : home) + "/.local/share/quelmar/drive_c";
#endif
}

bool IsDriveCPath(std::string_view path) {
    return path.size() >= 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

std::string MapPath(std::string_view path) {
#ifdef _WIN32
    return std::string(path);
#else
    if (!IsDriveCPath(path)) {
        return std::string(path);
    }
    std::string mapped = DriveCRoot();
    while (mapped.size() > 1 && mapped.back() == '/') {
        mapped.pop_back();
    }
    if (mapped != "/") {
        mapped += '/';
    }
    for (const char c : path.substr(3)) {
        mapped += c == '\\' ? '/' : c;
    }
    return mapped;
#endif
}

FileSystem& RealFileSystem() {
    static RealFileSystemImpl fileSystem;
    return fileSystem;
}

}  // namespace storage
