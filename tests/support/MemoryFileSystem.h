// A file system held in memory, for tests and fuzzing: files keyed by the path
// exactly as given (case-sensitive), every read and write logged, chosen ones
// failed.
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

    // The next `count` writes, or the operation numbered `number` in the log
    // (1-based), fail as if the file could not be opened.
    void FailNextWrites(int count) { failWrites_ = count; }
    void FailOperation(std::size_t number) { failing_.insert(number); }

    std::vector<Operation> operations;

private:
    bool Fails(bool write, std::string_view path);

    std::map<std::string, std::vector<std::uint8_t>, std::less<>> files_;
    std::set<std::size_t> failing_;
    int failWrites_ = 0;
};

}  // namespace testing_support
