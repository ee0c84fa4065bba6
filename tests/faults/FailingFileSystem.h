// A file system that numbers every read and write passed to the one it
// wraps, and can make one of them fail: the tests fail each file operation
// of a user's action in turn.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "storage/FileSystem.h"

namespace testing_support {

class FailingFileSystem final : public storage::FileSystem {
public:
    struct Operation {
        bool write;
        std::string path;
    };

    explicit FailingFileSystem(storage::FileSystem& inner) : inner_(inner) {}

    // Operation number `number` (1-based, counted from now) fails: a read
    // as a file that cannot be opened, a write as one that cannot be made.
    void FailOperation(std::size_t number) {
        failing_ = number;
        operations.clear();
    }

    std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path, std::size_t maxBytes) override {
        operations.push_back(Operation{false, std::string(path)});
        if (operations.size() == failing_) return std::nullopt;
        return inner_.ReadFile(path, maxBytes);
    }
    bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) override {
        operations.push_back(Operation{true, std::string(path)});
        if (operations.size() == failing_) return false;
        return inner_.ReplaceFile(path, bytes);
    }

    std::vector<Operation> operations;

private:
    storage::FileSystem& inner_;
    std::size_t failing_ = 0;
};

}  // namespace testing_support
