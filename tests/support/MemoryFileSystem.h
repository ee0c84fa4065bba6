// A file system held in memory, for tests and fuzzing: files are keyed by the
// path exactly as given (no mapping, case-sensitive), every read and write is
// logged, and chosen ones can be made to fail.
#pragma once

#include "storage/FileSystem.h"

#include <map>
#include <set>

namespace testing_support {

class MemoryFileSystem : public storage::FileSystem {
public:
    struct Operation {
        bool write;
        std::string path;
    };

    std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path, std::size_t maxBytes) override;
    bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) override;

    void SetFile(std::string_view path, std::vector<std::uint8_t> bytes);
    // The file's bytes, or nothing when there is no such file.
    std::optional<std::vector<std::uint8_t>> File(std::string_view path) const;

    // The next `count` reads fail as if the file could not be opened; the
    // next `count` writes fail and leave the files untouched.
    void FailNextReads(int count) { failReads_ = count; }
    void FailNextWrites(int count) { failWrites_ = count; }
    // The operation numbered `number` in the log (1-based) fails the same way.
    void FailOperation(std::size_t number) { failing_.insert(number); }

    std::vector<Operation> operations;

private:
    bool Fails(bool write, std::string_view path, int& failNext);

    std::map<std::string, std::vector<std::uint8_t>, std::less<>> files_;
    std::set<std::size_t> failing_;
    int failReads_ = 0;
    int failWrites_ = 0;
};

}  // namespace testing_support
