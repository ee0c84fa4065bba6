// The file calls of Windows (the C runtime's, on wide paths), where the drive
// C: is the drive itself.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <system_error>

#include "storage/FileCalls.h"

namespace storage {

namespace {

namespace fs = std::filesystem;

// The runtime's counts are unsigned ints: large transfers go in pieces.
unsigned Piece(std::size_t size) { return static_cast<unsigned>(std::min<std::size_t>(size, 1u << 20)); }

class Win32FileCalls final : public FileCalls {
public:
    int OpenForReading(const fs::path& path) override { return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY); }
    int CreateExclusive(const fs::path& path) override {
        return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    }
    long ReadSome(int fd, std::uint8_t* data, std::size_t size) override { return ::_read(fd, data, Piece(size)); }
    long WriteSome(int fd, const std::uint8_t* data, std::size_t size) override {
        return ::_write(fd, data, Piece(size));
    }
    bool FlushToDisk(int fd) override { return ::_commit(fd) == 0; }
    bool Close(int fd) override { return ::_close(fd) == 0; }
    // A rename on Windows needs no flush of its folder.
    void FlushFolder(const fs::path&) override {}
    long ProcessId() override { return ::_getpid(); }
};

}  // namespace

FileCalls& SystemFileCalls() {
    static Win32FileCalls calls;
    return calls;
}

std::string DriveCRoot() { return "C:\\"; }

std::string MapPath(std::string_view path) { return std::string(path); }

}  // namespace storage
