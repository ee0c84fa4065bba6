// The low-level calls the real file system makes on descriptors and paths.
// Each system has its own file of them, chosen by the build
// (FileCallsPosix.cpp, FileCallsWin32.cpp); what is built on them, such as
// replacing a file durably, is FileSystem.cpp's and the same everywhere.
// Tests put recording calls in the system's place to see their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>

#include "storage/FileSystem.h"

namespace storage {

class FileCalls {
public:
    virtual ~FileCalls() = default;
    // Descriptors and counts are -1 after a failure, with errno set as the C
    // runtime sets it (EINTR: try again).
    virtual int OpenForReading(const std::filesystem::path& path) = 0;
    // A new file for writing; fails with EEXIST when the name is taken.
    virtual int CreateExclusive(const std::filesystem::path& path) = 0;
    virtual long ReadSome(int fd, std::uint8_t* data, std::size_t size) = 0;
    virtual long WriteSome(int fd, const std::uint8_t* data, std::size_t size) = 0;
    // Pushes what was written to the disk, past the system's caches.
    [[nodiscard]] virtual bool FlushToDisk(int fd) = 0;
    [[nodiscard]] virtual bool Close(int fd) = 0;
    // Puts `from` in the place of `to` in one step.
    // The same on every system (the standard library's); recorded by tests.
    [[nodiscard]] virtual bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
        std::error_code ec;
        std::filesystem::rename(from, to, ec);
        return !ec;
    }
    virtual void Remove(const std::filesystem::path& path) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    // Makes a change of the folder's entries (a rename) durable where the
    // system needs that; a failure leaves nothing the caller could act on.
    virtual void FlushFolder(const std::filesystem::path& folder) = 0;
    // Part of the temporary names, so that two programs never share one.
    virtual long ProcessId() = 0;
};

// The system's own calls.
FileCalls& SystemFileCalls();

// The file system made of `calls` (RealFileSystem() is the one of
// SystemFileCalls()); paths go through MapPath.
std::unique_ptr<FileSystem> MakeFileSystem(FileCalls& calls);

}  // namespace storage
