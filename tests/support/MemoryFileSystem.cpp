#include "tests/support/MemoryFileSystem.h"

#include <algorithm>
#include <utility>

namespace testing_support {

bool MemoryFileSystem::Fails(bool write, std::string_view path) {
    operations.push_back({write, std::string(path)});
    if (write && failWrites_ > 0) return failWrites_-- > 0;
    return failing_.count(operations.size()) != 0;
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::ReadFile(std::string_view path, std::size_t maxBytes) {
    if (Fails(false, path)) return std::nullopt;
    auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    const std::size_t n = std::min(maxBytes, it->second.size());
    return std::vector<std::uint8_t>(it->second.begin(), it->second.begin() + static_cast<std::ptrdiff_t>(n));
}

bool MemoryFileSystem::ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes) {
    if (Fails(true, path)) return false;
    files_.insert_or_assign(std::string(path), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return true;
}

void MemoryFileSystem::SetFile(std::string_view path, std::vector<std::uint8_t> bytes) {
    files_.insert_or_assign(std::string(path), std::move(bytes));
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::File(std::string_view path) const {
    auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

}  // namespace testing_support
