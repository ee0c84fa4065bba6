// Files in memory keyed by the exact path; every operation logged, chosen ones failed.
#pragma once

#include "storage/FileSystem.h"

#include <map>

namespace testing_support {

class MemoryFileSystem : public storage::FileSystem {
public:
    struct Operation {
        bool write;
        std::string path;
    };

    std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path, std::size_t maxBytes) override {
        if (Fails(false, path)) return std::nullopt;
        auto file = File(path);
        if (!file) SetFailure(storage::FileFailure::NotFound);
        if (file && file->size() > maxBytes) file->resize(maxBytes);
        return file;
    }
    bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) override {
        if (Fails(true, path)) return false;
        SetFile(path, {bytes.begin(), bytes.end()});
        return true;
    }

    void SetFile(std::string_view path, std::vector<std::uint8_t> bytes) {
        files_.insert_or_assign(std::string(path), std::move(bytes));
    }
    std::optional<std::vector<std::uint8_t>> File(std::string_view path) const {
        const auto it = files_.find(path);
        if (it == files_.end()) return std::nullopt;
        return it->second;
    }

    // The operation numbered `number` in the log (1-based) fails for that reason.
    void FailOperation(std::size_t number, storage::FileFailure failure = storage::FileFailure::FolderMissing) {
        failing_[number] = failure;
    }

    std::vector<Operation> operations;

private:
    bool Fails(bool write, std::string_view path) {
        operations.push_back({write, std::string(path)});
        const auto it = failing_.find(operations.size());
        if (it != failing_.end()) SetFailure(it->second);
        return it != failing_.end();
    }

    std::map<std::string, std::vector<std::uint8_t>, std::less<>> files_;
    std::map<std::size_t, storage::FileFailure> failing_;
};

}  // namespace testing_support
