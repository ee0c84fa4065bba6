// The file calls of POSIX systems, and their drive C:, a folder of the user's.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "storage/FileCalls.h"

namespace storage {

namespace {

namespace fs = std::filesystem;

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

class PosixFileCalls final : public FileCalls {
public:
    int OpenForReading(const fs::path& path) override { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
    int CreateExclusive(const fs::path& path) override {
        return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    long ReadSome(int fd, std::uint8_t* data, std::size_t size) override {
        return static_cast<long>(::read(fd, data, size));
    }
    long WriteSome(int fd, const std::uint8_t* data, std::size_t size) override {
        return static_cast<long>(::write(fd, data, size));
    }
    bool FlushToDisk(int fd) override { return ::fsync(fd) == 0; }
    bool Close(int fd) override { return ::close(fd) == 0; }
    // The folder's own fsync makes the rename in it durable.
    void FlushFolder(const fs::path& folder) override {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    long ProcessId() override { return static_cast<long>(::getpid()); }
};

}  // namespace

FileCalls& SystemFileCalls() {
    static PosixFileCalls calls;
    return calls;
}

std::string DriveCRoot() {
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
}

std::string MapPath(std::string_view path) {
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
}

}  // namespace storage
