#include "storage/SqliteShiftStore.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "storage/FileSystem.h"

namespace storage {

namespace {

namespace fs = std::filesystem;

// Not an SQLite code: a database written by a later version of the program,
// which this one must leave alone.
constexpr int NEWER_SCHEMA = 0x10000;

const char SCHEMA[] =
    "BEGIN IMMEDIATE;"
    "CREATE TABLE items(id INTEGER PRIMARY KEY, line INTEGER NOT NULL, weight_counts INTEGER NOT NULL,"
    " factor REAL NOT NULL, kilograms REAL NOT NULL);"
    "CREATE TABLE figures(line INTEGER PRIMARY KEY, items INTEGER NOT NULL, kilograms REAL NOT NULL);"
    "WITH RECURSIVE n(line) AS (SELECT 0 UNION ALL SELECT line + 1 FROM n WHERE line < 8)"
    " INSERT INTO figures SELECT line, 0, 0.0 FROM n;"
    "PRAGMA user_version = 1;"
    "COMMIT;";

fs::path Native(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool IsDamage(int code) { return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB; }

// Steps a statement once and makes it ready again: SQLITE_OK when it ran.
int Run(sqlite3_stmt* statement) {
    const int code = sqlite3_step(statement);
    sqlite3_reset(statement);
    return code == SQLITE_DONE || code == SQLITE_ROW ? SQLITE_OK : code;
}

// The first column of the first row as text (empty for no row).
int QueryText(sqlite3* db, const char* sql, std::string& value) {
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    value.clear();
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            if (text != nullptr) value = reinterpret_cast<const char*>(text);
        }
        code = code == SQLITE_ROW || code == SQLITE_DONE ? SQLITE_OK : code;
    }
    sqlite3_finalize(statement);
    return code;
}

// Moves a damaged database, with its journal, out of the way under the first
// free name "<name>.dañada-<n>"; its name goes to `aside`. The database is
// never written over: the failure of any step leaves it where it was.
bool SetAside(const fs::path& file, std::string& aside) {
    std::error_code ec;
    for (int n = 1; n < 1000; ++n) {
        fs::path target = file;
        target += Native(
            ".da\xC3\xB1"
            "ada-" +
            std::to_string(n));
        fs::path targetWal = target;
        targetWal += "-wal";
        if (fs::exists(target, ec) || fs::exists(targetWal, ec)) continue;
        fs::rename(file, target, ec);
        if (ec) return false;
        fs::path wal = file;
        wal += "-wal";
        if (fs::exists(wal, ec)) fs::rename(wal, targetWal, ec);
        aside = Utf8(target.filename());
        return true;
    }
    return false;
}

}  // namespace

std::string_view ShiftStoreCause(int code) {
    switch (code == NEWER_SCHEMA ? code : code & 0xFF) {
        case SQLITE_FULL: return "el disco está lleno";
        case SQLITE_READONLY:
        case SQLITE_PERM: return "el archivo o la carpeta es de solo lectura";
        case SQLITE_CANTOPEN: return "no se puede abrir ni crear el archivo";
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return "otro programa está usando el archivo";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return "el archivo está dañado";
        case SQLITE_NOMEM: return "falta memoria";
        case NEWER_SCHEMA: return "el archivo es de una versión más nueva del programa";
        default: return "falló la escritura en el disco";
    }
}

std::string ShiftStoreFailure(std::string_view path, std::string_view cause) {
    return "No se pueden guardar las estadísticas en " + std::string(path) + ": " + std::string(cause) +
           ". Se siguen contando en memoria.";
}

std::unique_ptr<ShiftStore> OpenShiftStore(std::string_view path, const char* vfs) {
    std::string cause;
    ShiftFigures stored;
    if (auto store = SqliteShiftStore::Open(MapPath(path), path, vfs, cause, stored)) return store;
    return std::make_unique<MemoryShiftStore>(ShiftStoreFailure(path, cause), stored);
}

ShiftFigures SqliteShiftStore::ReadStoredFigures(const std::string& file, const char* vfs) {
    // Reading a WAL database needs its journal beside it, which a read-only
    // folder does not let SQLite make. With no journal left (the program
    // closed) the file alone holds the whole shift, and is read as one that
    // cannot change.
    std::error_code ec;
    const bool journal = fs::exists(Native(file + "-wal"), ec);
    for (const bool immutable : {false, true}) {
        if (immutable && journal) break;
        std::string name = file;
        int flags = SQLITE_OPEN_READONLY;
        if (immutable) {
            name = "file:";
            for (const char c : file)
                name += c == '%' ? "%25" : c == '?' ? "%3F" : c == '#' ? "%23" : c == '\\' ? "/" : std::string(1, c);
            name += "?immutable=1";
            flags |= SQLITE_OPEN_URI;
        }
        sqlite3* db = nullptr;
        const int code = sqlite3_open_v2(name.c_str(), &db, flags, vfs);
        SqliteShiftStore reader(db, "");  // closes the database, opened or not
        std::string version;
        if (code == SQLITE_OK && QueryText(db, "PRAGMA user_version", version) == SQLITE_OK && version == "1" &&
            reader.LoadFigures() == SQLITE_OK)
            return reader.figures_;
    }
    return {};
}

std::unique_ptr<SqliteShiftStore> SqliteShiftStore::Open(const std::string& file, std::string_view shownPath,
                                                         const char* vfs, std::string& cause, ShiftFigures& stored) {
    const fs::path native = Native(file);
    std::error_code ec;
    if (!fs::is_directory(native.parent_path(), ec)) {
        cause = "la carpeta " + Utf8(native.parent_path()) + " no existe";
        return nullptr;
    }
    // Refused like any other file the operator made read-only, also where
    // the system would let the program write it anyway.
    const fs::file_status status = fs::status(native, ec);
    if (fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
        cause = ShiftStoreCause(SQLITE_READONLY);
        stored = ReadStoredFigures(file, vfs);
        return nullptr;
    }

    auto attempt = [&](int& code) {
        sqlite3* db = nullptr;
        code = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs);
        std::unique_ptr<SqliteShiftStore> store(new SqliteShiftStore(db, shownPath));
        std::string value;
        // One program counts into a shift: the lock is kept from the first
        // read to the close, and the WAL index lives in memory, not in a
        // shared file.
        if (code == SQLITE_OK) code = QueryText(db, "PRAGMA locking_mode = EXCLUSIVE", value);
        // Nothing is written before the file is known to be a sound
        // database of this program's, or a new one.
        // The whole file is checked, mapped for the check only: it then reads
        // the file without a system call per page, which keeps a long shift's
        // start-up short; afterwards a file changed under the program cannot
        // fault a mapped read.
        if (code == SQLITE_OK) code = QueryText(db, "PRAGMA mmap_size = 268435456", value);
        std::string checked;
        if (code == SQLITE_OK) code = QueryText(db, "PRAGMA quick_check", checked);
        if (code == SQLITE_OK) code = QueryText(db, "PRAGMA mmap_size = 0", value);
        if (code == SQLITE_OK && checked != "ok") code = SQLITE_CORRUPT;
        if (code == SQLITE_OK) code = QueryText(db, "PRAGMA user_version", value);
        const bool fresh = value == "0";
        if (code == SQLITE_OK && fresh) {
            // Someone else's database is set aside like a damaged one.
            code = QueryText(db, "SELECT count(*) FROM sqlite_schema", value);
            if (code == SQLITE_OK && value != "0") code = SQLITE_NOTADB;
        } else if (code == SQLITE_OK && value != "1") {
            code = NEWER_SCHEMA;
        }
        if (code == SQLITE_OK) code = QueryText(db, "PRAGMA journal_mode = WAL", value);
        if (code == SQLITE_OK && value != "wal") code = SQLITE_CANTOPEN;
        if (code == SQLITE_OK) code = sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        if (code == SQLITE_OK && fresh) code = sqlite3_exec(db, SCHEMA, nullptr, nullptr, nullptr);
        if (code == SQLITE_OK) code = store->Prepare();
        if (code == SQLITE_OK) code = store->LoadFigures();
        if (code != SQLITE_OK) store.reset();
        return store;
    };

    int code = SQLITE_OK;
    if (auto store = attempt(code)) return store;
    std::string aside;
    if (!IsDamage(code)) {
        cause = ShiftStoreCause(code);
        // A later version's figures may not mean what this one reads.
        if (code != NEWER_SCHEMA) stored = ReadStoredFigures(file, vfs);
    } else if (!SetAside(native, aside)) {
        cause = "el archivo está dañado y no se pudo apartar";
    } else if (auto store = attempt(code)) {
        store->failure_ = "La base de estadísticas " + std::string(shownPath) + " estaba dañada: se apartó como " +
                          aside + " y se empezó una nueva. Las estadísticas anteriores no se recuperaron.";
        return store;
    } else {
        cause = std::string(ShiftStoreCause(code)) + " (la base dañada se apartó como " + aside + ")";
    }
    return nullptr;
}

SqliteShiftStore::~SqliteShiftStore() { Close(); }

int SqliteShiftStore::Prepare() {
    // Made once and kept: a counted item binds and steps, nothing more.
    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&begin_, "BEGIN IMMEDIATE"},
        {&insertItem_, "INSERT INTO items(line, weight_counts, factor, kilograms) VALUES(?1, ?2, ?3, ?4)"},
        {&updateFigure_, "UPDATE figures SET items = ?2, kilograms = ?3 WHERE line = ?1"},
        {&commit_, "COMMIT"},
        {&rollback_, "ROLLBACK"},
        {&deleteItems_, "DELETE FROM items"},
        {&zeroFigures_, "UPDATE figures SET items = 0, kilograms = 0.0"},
    };
    for (const auto& [statement, sql] : statements) {
        const int code = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr);
        if (code != SQLITE_OK) return code;
    }
    return SQLITE_OK;
}

int SqliteShiftStore::LoadFigures() {
    sqlite3_stmt* select = nullptr;
    int code =
        sqlite3_prepare_v2(db_, "SELECT line, items, kilograms FROM figures ORDER BY line", -1, &select, nullptr);
    int rows = 0;
    while (code == SQLITE_OK && sqlite3_step(select) == SQLITE_ROW) {
        const sqlite3_int64 items = sqlite3_column_int64(select, 1);
        const double kilograms = sqlite3_column_double(select, 2);
        // Lines 0 (the totals) to 8, each once, with counts that fit.
        if (sqlite3_column_int(select, 0) != rows || items < 0 || items > UINT32_MAX) {
            code = SQLITE_CORRUPT;
        } else if (rows == 0) {
            figures_.totalCount = static_cast<std::uint32_t>(items);
            figures_.totalKilograms = kilograms;
        } else {
            figures_.lineCounts[static_cast<std::size_t>(rows - 1)] = static_cast<std::uint32_t>(items);
            figures_.lineKilograms[static_cast<std::size_t>(rows - 1)] = kilograms;
        }
        ++rows;
    }
    if (code == SQLITE_OK) code = sqlite3_finalize(select);
    else sqlite3_finalize(select);
    return code == SQLITE_OK && rows != static_cast<int>(SHIFT_LINES) + 1 ? SQLITE_CORRUPT : code;
}

int SqliteShiftStore::WriteFigure(int line, std::uint32_t items, double kilograms) {
    sqlite3_bind_int(updateFigure_, 1, line);
    sqlite3_bind_int64(updateFigure_, 2, items);
    sqlite3_bind_double(updateFigure_, 3, kilograms);
    return Run(updateFigure_);
}

void SqliteShiftStore::Record(const CountedItem& item, const ShiftFigures& after) {
    figures_ = after;
    if (db_ == nullptr || item.line < 1 || item.line > static_cast<int>(SHIFT_LINES)) return;
    const auto index = static_cast<std::size_t>(item.line - 1);
    sqlite3_bind_int(insertItem_, 1, item.line);
    sqlite3_bind_int(insertItem_, 2, item.weightCounts);
    sqlite3_bind_double(insertItem_, 3, static_cast<double>(item.calibrationFactor));
    sqlite3_bind_double(insertItem_, 4, item.kilograms);
    // The item's row and both figures it changed commit together or not at all.
    int code = Run(begin_);
    if (code == SQLITE_OK) code = Run(insertItem_);
    if (code == SQLITE_OK) code = WriteFigure(item.line, after.lineCounts[index], after.lineKilograms[index]);
    if (code == SQLITE_OK) code = WriteFigure(0, after.totalCount, after.totalKilograms);
    if (code == SQLITE_OK) code = Run(commit_);
    if (code != SQLITE_OK) Fail(code);
}

void SqliteShiftStore::Reset() {
    figures_ = {};
    if (db_ == nullptr) return;
    int code = Run(begin_);
    if (code == SQLITE_OK) code = Run(deleteItems_);
    if (code == SQLITE_OK) code = Run(zeroFigures_);
    if (code == SQLITE_OK) code = Run(commit_);
    if (code != SQLITE_OK) Fail(code);
}

void SqliteShiftStore::Fail(int code) {
    if (sqlite3_get_autocommit(db_) == 0) static_cast<void>(Run(rollback_));
    failure_ = ShiftStoreFailure(shownPath_, ShiftStoreCause(code));
    Close();
}

void SqliteShiftStore::Close() {
    for (sqlite3_stmt* statement : {begin_, insertItem_, updateFigure_, commit_, rollback_, deleteItems_, zeroFigures_})
        sqlite3_finalize(statement);
    begin_ = insertItem_ = updateFigure_ = commit_ = rollback_ = deleteItems_ = zeroFigures_ = nullptr;
    sqlite3_close(db_);
    db_ = nullptr;
}

}  // namespace storage
