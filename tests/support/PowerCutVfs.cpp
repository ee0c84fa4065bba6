#include "tests/support/PowerCutVfs.h"

#include <filesystem>
#include <fstream>
#include <new>

namespace testing_support {

namespace fs = std::filesystem;

// The system's file, placed after this header in the block SQLite gives.
struct PowerCutVfs::File {
    sqlite3_file base;
    PowerCutVfs* owner;
    std::string* path;
    sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    static File& Of(sqlite3_file* file) { return *reinterpret_cast<File*>(file); }
};

namespace {
fs::path Native(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
}  // namespace

PowerCutVfs::PowerCutVfs() : real_(sqlite3_vfs_find(nullptr)), vfs_(*real_) {
    vfs_.zName = "powercut";
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
    vfs_.pAppData = this;
    vfs_.xOpen = &PowerCutVfs::Open;
    vfs_.xDelete = &PowerCutVfs::Delete;
    vfs_.xAccess = [](sqlite3_vfs* v, const char* n, int f, int* r) { return RealOf(v)->xAccess(RealOf(v), n, f, r); };
    vfs_.xFullPathname = [](sqlite3_vfs* v, const char* n, int size, char* out) {
        return RealOf(v)->xFullPathname(RealOf(v), n, size, out);
    };
    vfs_.xRandomness = [](sqlite3_vfs* v, int n, char* out) { return RealOf(v)->xRandomness(RealOf(v), n, out); };
    vfs_.xSleep = [](sqlite3_vfs* v, int us) { return RealOf(v)->xSleep(RealOf(v), us); };
    vfs_.xCurrentTime = [](sqlite3_vfs* v, double* t) { return RealOf(v)->xCurrentTime(RealOf(v), t); };
    vfs_.xGetLastError = [](sqlite3_vfs* v, int n, char* t) { return RealOf(v)->xGetLastError(RealOf(v), n, t); };
    vfs_.xCurrentTimeInt64 = [](sqlite3_vfs* v, sqlite3_int64* t) {
        return RealOf(v)->xCurrentTimeInt64(RealOf(v), t);
    };
    vfs_.xDlOpen = nullptr;
    vfs_.iVersion = 2;
    sqlite3_vfs_register(&vfs_, 0);
}

PowerCutVfs::~PowerCutVfs() { sqlite3_vfs_unregister(&vfs_); }

int PowerCutVfs::Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    PowerCutVfs& owner = *static_cast<PowerCutVfs*>(vfs->pAppData);
    File& f = File::Of(file);
    f.base.pMethods = nullptr;
    int exists = 0;
    if (name != nullptr) owner.real_->xAccess(owner.real_, name, SQLITE_ACCESS_EXISTS, &exists);
    if (owner.refuseNewFiles && exists == 0) return SQLITE_CANTOPEN;
    const int code = owner.real_->xOpen(owner.real_, name, f.Real(), flags, outFlags);
    if (code != SQLITE_OK) return code;
    if (owner.methods_.iVersion == 0) {
        // The system's own methods, with the writes, truncations and syncs
        // going through this layer.
        owner.methods_ = *f.Real()->pMethods;
        owner.methods_.iVersion = 2;
        owner.methods_.xWrite = &PowerCutVfs::Write;
        owner.methods_.xTruncate = &PowerCutVfs::Truncate;
        owner.methods_.xSync = &PowerCutVfs::Sync;
        owner.methods_.xClose = [](sqlite3_file* file) {
            File& f = File::Of(file);
            delete f.path;
            return f.Real()->pMethods->xClose(f.Real());
        };
#define QUELMAR_FORWARD(member, params, args) \
    owner.methods_.member = [] params { return File::Of(file).Real()->pMethods->member args; }
        QUELMAR_FORWARD(xRead, (sqlite3_file * file, void* d, int n, sqlite3_int64 o),
                        (File::Of(file).Real(), d, n, o));
        QUELMAR_FORWARD(xFileSize, (sqlite3_file * file, sqlite3_int64 * s), (File::Of(file).Real(), s));
        QUELMAR_FORWARD(xLock, (sqlite3_file * file, int l), (File::Of(file).Real(), l));
        QUELMAR_FORWARD(xUnlock, (sqlite3_file * file, int l), (File::Of(file).Real(), l));
        QUELMAR_FORWARD(xCheckReservedLock, (sqlite3_file * file, int* r), (File::Of(file).Real(), r));
        QUELMAR_FORWARD(xFileControl, (sqlite3_file * file, int op, void* a), (File::Of(file).Real(), op, a));
        QUELMAR_FORWARD(xSectorSize, (sqlite3_file * file), (File::Of(file).Real()));
        QUELMAR_FORWARD(xDeviceCharacteristics, (sqlite3_file * file), (File::Of(file).Real()));
        QUELMAR_FORWARD(xShmMap, (sqlite3_file * file, int p, int s, int e, void volatile** m),
                        (File::Of(file).Real(), p, s, e, m));
        QUELMAR_FORWARD(xShmLock, (sqlite3_file * file, int o, int n, int f), (File::Of(file).Real(), o, n, f));
        owner.methods_.xShmBarrier = [](sqlite3_file* file) {
            File::Of(file).Real()->pMethods->xShmBarrier(File::Of(file).Real());
        };
        QUELMAR_FORWARD(xShmUnmap, (sqlite3_file * file, int d), (File::Of(file).Real(), d));
#undef QUELMAR_FORWARD
    }
    f.base.pMethods = &owner.methods_;
    f.owner = &owner;
    f.path = new std::string(name != nullptr ? name : "");
    // A file found on disk counts as synced as it is.
    if (name != nullptr && !owner.synced_.contains(name)) {
        owner.synced_[name] = std::nullopt;
        if (exists != 0) {
            std::ifstream in(Native(name), std::ios::binary);
            owner.synced_[name].emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return SQLITE_OK;
}

int PowerCutVfs::Delete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    PowerCutVfs& owner = *static_cast<PowerCutVfs*>(vfs->pAppData);
    if (owner.PowerGone()) return SQLITE_IOERR_DELETE;
    owner.synced_[name] = std::nullopt;
    return owner.real_->xDelete(owner.real_, name, syncDir);
}

int PowerCutVfs::Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    File& f = File::Of(file);
    if (f.owner->PowerGone()) return SQLITE_IOERR_WRITE;
    sqlite3_int64 size = 0;
    f.Real()->pMethods->xFileSize(f.Real(), &size);
    if (f.owner->sizeLimit && offset + amount > size && offset + amount > *f.owner->sizeLimit) return SQLITE_FULL;
    return f.Real()->pMethods->xWrite(f.Real(), data, amount, offset);
}

int PowerCutVfs::Truncate(sqlite3_file* file, sqlite3_int64 size) {
    File& f = File::Of(file);
    if (f.owner->PowerGone()) return SQLITE_IOERR_TRUNCATE;
    return f.Real()->pMethods->xTruncate(f.Real(), size);
}

int PowerCutVfs::Sync(sqlite3_file* file, int) {
    File& f = File::Of(file);
    if (f.owner->PowerGone()) return SQLITE_IOERR_FSYNC;
    sqlite3_int64 size = 0;
    int code = f.Real()->pMethods->xFileSize(f.Real(), &size);
    std::vector<char> bytes(static_cast<std::size_t>(size));
    if (code == SQLITE_OK && size > 0)
        code = f.Real()->pMethods->xRead(f.Real(), bytes.data(), static_cast<int>(size), 0);
    if (code == SQLITE_OK) f.owner->synced_[*f.path] = std::move(bytes);
    return code;
}

void PowerCutVfs::PowerCut() {
    for (const auto& [path, bytes] : synced_) {
        std::error_code ec;
        if (!bytes) {
            fs::remove(Native(path), ec);
            continue;
        }
        std::ofstream(Native(path), std::ios::binary | std::ios::trunc)
            .write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    }
    cutAt_ = UINT64_MAX;
    operations_ = 0;
}

}  // namespace testing_support
