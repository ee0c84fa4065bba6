// The shift in an SQLite database: a WAL journal synced in full on every
// commit, one transaction per counted item holding both its row and the
// running figures it led to, so that a crash or a power cut at any moment
// leaves the shift either with the item or without it, never half of it.
//
// Schema (PRAGMA user_version = 1):
//   items(id, line, weight_counts, factor, kilograms)  one row per item
//   figures(line, items, kilograms)  line 0 the totals, 1..8 the lines:
//       what start-up reads, instead of adding up every item
// The closed shifts' history and an audit trail will be further tables
// beside these, added by a version 2 that leaves these two as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/ShiftStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace storage {

class SqliteShiftStore final : public ShiftStore {
public:
    // Opens (or starts) the database at `file` (a path of the system); the
    // messages name it `shownPath`. A database that is not one (garbage, a
    // truncated file, tables missing) is set aside as "<name>.dañada-<n>"
    // and a new one started: the message says so. Null when the database
    // cannot be used at all, with the cause in `cause` and, when it can
    // still be read (a read-only file or folder), the figures it holds in
    // `stored`: the count goes on from them, not from zero.
    static std::unique_ptr<SqliteShiftStore> Open(const std::string& file, std::string_view shownPath, const char* vfs,
                                                  std::string& cause, ShiftFigures& stored);
    ~SqliteShiftStore() override;

    const ShiftFigures& Figures() const override { return figures_; }
    void Record(const CountedItem& item, const ShiftFigures& after) override;
    void Reset() override;
    bool Durable() const override { return db_ != nullptr; }
    std::string TakeFailure() override { return std::exchange(failure_, {}); }

private:
    SqliteShiftStore(sqlite3* db, std::string_view shownPath) : db_(db), shownPath_(shownPath) {}
    // SQLITE_OK, or the code of the step that failed.
    [[nodiscard]] int Prepare();
    [[nodiscard]] int LoadFigures();
    // The figures of a database of this program's opened only to read them;
    // zero when it cannot be read.
    static ShiftFigures ReadStoredFigures(const std::string& file, const char* vfs);
    [[nodiscard]] int WriteFigure(int line, std::uint32_t items, double kilograms);
    // Rolls back, closes the database and leaves the figures in memory.
    void Fail(int code);
    void Close();

    sqlite3* db_;
    std::string shownPath_;
    ShiftFigures figures_;
    std::string failure_;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* insertItem_ = nullptr;
    sqlite3_stmt* updateFigure_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* rollback_ = nullptr;
    sqlite3_stmt* deleteItems_ = nullptr;
    sqlite3_stmt* zeroFigures_ = nullptr;
};

// The cause, in the operator's words, of an SQLite result code.
std::string_view ShiftStoreCause(int code);

}  // namespace storage
