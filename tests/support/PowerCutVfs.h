// An SQLite file layer over the system's own that models the disk under a
// power cut: it keeps each file as last synced, and PowerCut() takes every
// file back there, throwing away what was written since. Syncs only take
// that copy (the system's sync is skipped: nothing here outlives the test).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class PowerCutVfs {
public:
    PowerCutVfs();
    ~PowerCutVfs();
    PowerCutVfs(const PowerCutVfs&) = delete;
    PowerCutVfs& operator=(const PowerCutVfs&) = delete;

    const char* Name() const { return vfs_.zName; }
    // From the n-th write, truncation or sync on (1-based), every one fails:
    // the power is gone.
    void CutAt(std::uint64_t n) { cutAt_ = n; }
    // Writes, truncations and syncs so far.
    std::uint64_t Operations() const { return operations_; }
    // Every file to what it held when last synced (a file never synced is
    // gone), and the power back. Call with no database open.
    void PowerCut();

    // A write that would make a file larger fails with SQLITE_FULL.
    std::optional<std::int64_t> sizeLimit;
    // New files cannot be made, as in a read-only folder.
    bool refuseNewFiles = false;

private:
    struct File;
    static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags);
    static int Delete(sqlite3_vfs* vfs, const char* name, int syncDir);
    static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset);
    static int Truncate(sqlite3_file* file, sqlite3_int64 size);
    static int Sync(sqlite3_file* file, int flags);
    static sqlite3_vfs* RealOf(sqlite3_vfs* vfs) { return static_cast<PowerCutVfs*>(vfs->pAppData)->real_; }
    bool PowerGone() { return ++operations_ >= cutAt_; }

    sqlite3_vfs* real_;
    sqlite3_vfs vfs_;
    sqlite3_io_methods methods_{};
    std::uint64_t operations_ = 0;
    std::uint64_t cutAt_ = UINT64_MAX;
    // What each file held when last synced; nothing for a file not there.
    std::map<std::string, std::optional<std::vector<char>>> synced_;
};

}  // namespace testing_support
