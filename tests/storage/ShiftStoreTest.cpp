#include "storage/SqliteShiftStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

namespace storage {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<char>;

std::string Utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}
fs::path Native(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An SQLite file layer over the system's own that models the disk under a
// power cut: it keeps each file as last synced, and PowerCut() takes every
// file back there. Syncs only take that copy: nothing here outlives the test.
class PowerCutVfs {
public:
    PowerCutVfs() : vfs_(*real_) {
        current = this;
        vfs_.zName = "powercut";
        vfs_.xOpen = [](sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out) {
            return current->Open(name, file, flags, out);
        };
        vfs_.xDelete = [](sqlite3_vfs*, const char* name, int syncDir) {
            if (current->PowerGone()) return SQLITE_IOERR_DELETE;
            current->synced_[name] = std::nullopt;
            return current->real_->xDelete(current->real_, name, syncDir);
        };
        sqlite3_vfs_register(&vfs_, 0);
    }
    ~PowerCutVfs() { sqlite3_vfs_unregister(&vfs_); }
    const char* Name() const { return vfs_.zName; }
    // From the n-th write, truncation, sync or deletion on, all fail.
    void CutAt(std::uint64_t n) { cutAt_ = n; }
    std::uint64_t Operations() const { return operations_; }
    // Every file back to what it held when last synced (a file never synced
    // is gone), and the power back. Call with no database open.
    void PowerCut() {
        for (const auto& [path, bytes] : synced_) {
            std::error_code ec;
            if (!bytes) fs::remove(Native(path), ec);
            else std::ofstream(Native(path), std::ios::binary).write(bytes->data(), std::ssize(*bytes));
        }
        cutAt_ = UINT64_MAX, operations_ = 0;
    }
    std::optional<sqlite3_int64> sizeLimit;  // a write growing a file past it: SQLITE_FULL
    bool refuseNewFiles = false;             // as in a read-only folder

private:
    bool PowerGone() { return ++operations_ >= cutAt_; }

    // Each file keeps the system's methods of its kind (the database's lock, its journal's none), with
    // the writes, truncations and syncs replaced. Files without a name are SQLite's temporary ones,
    // which no power cut concerns.
    int Open(const char* name, sqlite3_file* file, int flags, int* out) {
        const bool exists = name != nullptr && fs::exists(Native(name));
        if (refuseNewFiles && !exists) return SQLITE_CANTOPEN;
        // A file found on disk counts as synced as it is.
        if (name != nullptr && !synced_.contains(name))
            synced_[name] = exists ? std::optional(Read(Native(name))) : std::nullopt;
        const int code = real_->xOpen(real_, name, file, flags, out);
        if (code != SQLITE_OK || file->pMethods == nullptr || name == nullptr) return code;
        files_[file] = {file->pMethods, name};
        sqlite3_io_methods& methods = methods_.try_emplace(file->pMethods, *file->pMethods).first->second;
        methods.xWrite = [](sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
            sqlite3_int64 size = 0;
            Real(f).xFileSize(f, &size);
            if (current->PowerGone()) return SQLITE_IOERR_WRITE;
            if (current->sizeLimit && offset + amount > std::max(size, *current->sizeLimit)) return SQLITE_FULL;
            return Real(f).xWrite(f, data, amount, offset);
        };
        methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
            return current->PowerGone() ? SQLITE_IOERR_TRUNCATE : Real(f).xTruncate(f, size);
        };
        // Read through the file's own descriptor: closing another one would drop SQLite's locks on it.
        methods.xSync = [](sqlite3_file* f, int) {
            if (current->PowerGone()) return SQLITE_IOERR_FSYNC;
            sqlite3_int64 size = 0;
            Real(f).xFileSize(f, &size);
            Bytes bytes(static_cast<std::size_t>(size));
            const int code = size > 0 ? Real(f).xRead(f, bytes.data(), static_cast<int>(size), 0) : SQLITE_OK;
            if (code == SQLITE_OK) current->synced_[current->files_[f].second] = std::move(bytes);
            return code;
        };
        file->pMethods = &methods;
        return SQLITE_OK;
    }
    static const sqlite3_io_methods& Real(sqlite3_file* f) { return *current->files_[f].first; }

    static inline PowerCutVfs* current = nullptr;
    sqlite3_vfs* real_ = sqlite3_vfs_find(nullptr);
    sqlite3_vfs vfs_;
    std::map<const sqlite3_io_methods*, sqlite3_io_methods> methods_;  // the system's, each with ours
    std::map<const sqlite3_file*, std::pair<const sqlite3_io_methods*, std::string>> files_;  // the system's, name
    std::uint64_t operations_ = 0, cutAt_ = UINT64_MAX;
    std::map<std::string, std::optional<Bytes>> synced_;  // nothing: not there
};

// A shift's steps (line 0: the reset), the figures and item rows after each.
struct Shift {
    explicit Shift(int items, int resetAt = -1) {
        for (int i = 0; i < items; ++i) {
            if (i == resetAt) steps.emplace_back(), after.emplace_back(), rows.push_back(0);
            CountedItem item{1 + i * 5 % 8, static_cast<std::uint8_t>(7 + i * 37 % 249), 1.3f + 0.07f * i, 0.0};
            item.kilograms = item.weightCounts * static_cast<double>(item.calibrationFactor) / 1000.0;
            ShiftFigures f = after.back();
            const auto line = static_cast<std::size_t>(item.line - 1);
            ++f.lineCounts[line], ++f.totalCount;
            f.lineKilograms[line] += item.kilograms, f.totalKilograms += item.kilograms;
            steps.push_back(item), after.push_back(f), rows.push_back(rows.back() + 1);
        }
    }
    void Apply(ShiftStore& store, std::size_t step) const {
        if (steps[step].line == 0) store.Reset();
        else store.Record(steps[step], after[step + 1]);
    }
    std::vector<CountedItem> steps;
    std::vector<ShiftFigures> after{ShiftFigures{}};
    std::vector<int> rows{0};
};

class ShiftStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        ASSERT_TRUE(fs::create_directories(folder_ /= "quelmar-shift-" + std::to_string(stamp) + "/velsor"));
        file_ = folder_ / "estadisticas.db";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(file_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder_.parent_path(), ec);
    }
    std::unique_ptr<ShiftStore> Open() { return OpenShiftStore(Utf8(file_), vfs_->Name()); }
    // The items the file holds (-1 when unreadable); the store must be closed.
    int ItemRows() {
        sqlite3* db = nullptr;
        int rows = -1;
        sqlite3_open(Utf8(file_).c_str(), &db);
        const auto take = [](void* out, int, char** row, char**) {
            return *static_cast<int*>(out) = std::atoi(row[0]), 0;
        };
        sqlite3_exec(db, "SELECT count(*) FROM items", take, &rows, nullptr);
        sqlite3_close(db);
        return rows;
    }

    fs::path folder_ = fs::temp_directory_path(), file_;
    std::optional<PowerCutVfs> vfs_{std::in_place};
};

// The power goes at every write, truncation and sync of a shift with a reset
// in turn; the reopened store has every acknowledged step, and the one under
// way wholly or not at all: its figures (exact doubles) and its item rows agree.
TEST_F(ShiftStoreTest, PowerCutAtAnyWriteOrSyncLosesNoAcknowledgedItemAndCountsNoneTwice) {
    const Shift shift(9, 6);
    auto run = [&](std::uint64_t cut) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        vfs_.emplace().CutAt(cut);
        std::size_t acknowledged = 0, underWay = 0;
        if (auto store = Open(); store->TakeFailure().empty()) {
            for (underWay = 1; underWay <= shift.steps.size(); acknowledged = underWay++) {
                shift.Apply(*store, underWay - 1);
                if (!store->TakeFailure().empty()) break;
            }
            underWay = std::min(underWay, shift.steps.size());
        }
        const std::uint64_t operations = vfs_->Operations();
        vfs_->PowerCut();
        auto again = Open();
        EXPECT_EQ(again->TakeFailure(), "") << "cut " << cut;
        const std::size_t found = again->Figures() == shift.after[underWay] ? underWay : acknowledged;
        EXPECT_EQ(again->Figures(), shift.after[found]) << "cut " << cut << " after " << acknowledged;
        again.reset();
        EXPECT_EQ(ItemRows(), shift.rows[found]) << "cut " << cut;
        return operations;
    };
    const std::uint64_t operations = run(UINT64_MAX);
    ASSERT_GT(operations, 2 * shift.steps.size());
    for (std::uint64_t cut = 1; cut <= operations && !HasFailure(); ++cut) run(cut);
}

// What cannot be written is said once, and the counting goes on in memory.
TEST_F(ShiftStoreTest, UnusableFolderOrFileIsReportedOnceAndCountingGoesOn) {
    const Shift shift(3);
    struct Case {
        const char* name;
        fs::path file;
        std::function<void()> prepare;
        const char* cause;
        ShiftFigures kept;  // what the count goes on from
    } cases[] = {
        {"missing folder", folder_ / "otra" / "estadisticas.db", [] {}, "no existe", {}},
        {"read-only folder", folder_ / "nueva.db", [&] { vfs_->refuseNewFiles = true; }, "no se puede abrir", {}},
        {"read-only file", folder_ / "estadisticas.db",
         [&] {
             Open()->Record(shift.steps[0], shift.after[1]);
             fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         "solo lectura", shift.after[1]},
        {"read-only folder holding a shift", folder_ / "turno.db",
         [&] {
             Open()->Record(shift.steps[0], shift.after[1]);
             vfs_->refuseNewFiles = true;
         },
         "no se puede abrir", shift.after[1]},
    };
    for (const Case& c : cases) {
        file_ = c.file;
        c.prepare();
        const Bytes before = Read(file_);
        auto store = Open();
        EXPECT_EQ(store->Figures(), c.kept) << c.name;
        const std::string failure = store->TakeFailure();
        EXPECT_TRUE(Has(failure, "No se pueden guardar las estadísticas en " + Utf8(file_) + ": ")) << failure;
        EXPECT_TRUE(Has(failure, c.cause) && Has(failure, "Se siguen contando en memoria.")) << failure;
        store->Record(shift.steps[1], shift.after[2]);
        EXPECT_EQ(store->Figures(), shift.after[2]) << c.name;
        EXPECT_EQ(store->TakeFailure(), "") << c.name;
        EXPECT_EQ(Read(file_), before) << c.name;
        vfs_->refuseNewFiles = false;
    }
}

TEST_F(ShiftStoreTest, FullDiskIsReportedOnceAndKeepsWhatWasAcknowledged) {
    const Shift shift(40);
    auto store = Open();
    vfs_->sizeLimit = 8 * 4096;
    std::size_t acknowledged = 0;
    std::string failure;
    for (std::size_t step = 0; step < shift.steps.size(); ++step) {
        shift.Apply(*store, step);
        EXPECT_EQ(store->Figures(), shift.after[step + 1]);
        const std::string message = store->TakeFailure();
        if (failure.empty() && message.empty()) acknowledged = step + 1;
        EXPECT_TRUE(failure.empty() || message.empty()) << "said twice at " << step;
        if (failure.empty()) failure = message;
    }
    EXPECT_TRUE(Has(failure, "el disco está lleno. Se siguen contando en memoria.")) << failure;
    ASSERT_GT(acknowledged, 0u);
    store.reset();
    vfs_->sizeLimit.reset();
    EXPECT_EQ(Open()->Figures(), shift.after[acknowledged]);
}

// A damaged database is set aside under a name of its own, never written
// over, and a new one is started.
TEST_F(ShiftStoreTest, DamagedDatabaseIsSetAsideAndANewOneStarted) {
    const Shift shift(300);
    auto store = Open();
    for (std::size_t step = 0; step < shift.steps.size(); ++step) shift.Apply(*store, step);
    store.reset();
    const Bytes healthy = Read(file_);
    ASSERT_GT(healthy.size(), 4u * 4096);
    Bytes truncated = healthy, scribbled = healthy;
    truncated.resize(healthy.size() / 2);
    std::fill_n(scribbled.begin() + std::ssize(healthy) / 2, 100, '\x5A');  // inside an items page
    sqlite3* other = nullptr;
    sqlite3_open(Utf8(folder_ / "otra.db").c_str(), &other);
    sqlite3_exec(other, "CREATE TABLE precios(kilo REAL)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    const std::pair<const char*, Bytes> cases[] = {
        {"garbage", Bytes(5000, '\x5A')},
        {"truncated", truncated},
        {"scribbled over", scribbled},
        {"another program's", Read(folder_ / "otra.db")},
    };
    int n = 0;
    for (const auto& [name, bytes] : cases) {
        std::ofstream(file_, std::ios::binary | std::ios::trunc).write(bytes.data(), std::ssize(bytes));
        const std::string aside = "estadisticas.db.dañada-" + std::to_string(++n);
        auto damaged = Open();
        const std::string failure = damaged->TakeFailure();
        EXPECT_TRUE(Has(failure, "estaba dañada: se apartó como " + aside + " y se empezó una nueva")) << failure;
        EXPECT_TRUE(damaged->Figures().IsZero()) << name;
        damaged->Record(shift.steps[0], shift.after[1]);
        damaged.reset();
        EXPECT_EQ(Open()->Figures(), shift.after[1]) << name;
        EXPECT_EQ(Read(folder_ / Native(aside)), bytes) << name;
    }
}

}  // namespace
}  // namespace storage
