# Mutations of the shift store: one `mutation` line each (see scripts/mutate.sh).

mutation shift-synchronous-normal storage/SqliteShiftStore.cpp \
    '"PRAGMA synchronous = FULL"' '"PRAGMA synchronous = NORMAL"' storage_tests:ShiftStoreTest.*
mutation shift-synchronous-off storage/SqliteShiftStore.cpp \
    '"PRAGMA synchronous = FULL"' '"PRAGMA synchronous = OFF"' storage_tests:ShiftStoreTest.*
mutation shift-item-and-figures-in-two-transactions storage/SqliteShiftStore.cpp \
    'if (code == SQLITE_OK) code = Run(insertItem_);' \
    'if (code == SQLITE_OK && (code = Run(insertItem_)) == SQLITE_OK && (code = Run(commit_)) == SQLITE_OK) code = Run(begin_);' \
    storage_tests:ShiftStoreTest.*
mutation shift-reset-not-persisted storage/SqliteShiftStore.cpp \
    'if (code == SQLITE_OK) code = Run(zeroFigures_);' '' storage_tests:ShiftStoreTest.*
mutation shift-damaged-database-overwritten storage/SqliteShiftStore.cpp \
    'fs::rename(file, target, ec);' 'fs::remove(file, ec);' storage_tests:ShiftStoreTest.*
mutation shift-damage-unchecked storage/SqliteShiftStore.cpp \
    'if (code == SQLITE_OK && checked != "ok") code = SQLITE_CORRUPT;' '' storage_tests:ShiftStoreTest.*
mutation shift-kilograms-loaded-as-float storage/SqliteShiftStore.cpp \
    'const double kilograms = sqlite3_column_double(select, 2);' \
    'const double kilograms = static_cast<float>(sqlite3_column_double(select, 2));' storage_tests:ShiftStoreTest.*
mutation shift-failure-said-every-time storage/SqliteShiftStore.h \
    'return std::exchange(failure_, {});' 'return failure_;' storage_tests:ShiftStoreTest.*
mutation shift-read-only-file-counts-from-zero storage/SqliteShiftStore.cpp \
    'cause = ShiftStoreCause(SQLITE_READONLY);' 'cause = ShiftStoreCause(SQLITE_READONLY); return nullptr;' \
    storage_tests:ShiftStoreTest.*
mutation shift-read-only-folder-counts-from-zero storage/SqliteShiftStore.cpp \
    'if (immutable && journal) break;' 'if (immutable || journal) break;' storage_tests:ShiftStoreTest.*
