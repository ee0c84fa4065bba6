# Mutations of the storage layer: one `mutation` line each (see scripts/mutate.sh).

mutation storage-zero-factor-loads storage/CalibrationFile.cpp \
    '!(factor > 0.0f)' '!(factor >= 0.0f)' storage_tests
mutation storage-limit-high-byte-lost storage/LimitsFile.cpp \
    'static_cast<std::int16_t>(platform::GetLe16(&bytes[2 * i]));' \
    'static_cast<std::int16_t>(platform::GetLe16(&bytes[2 * i]) & 0xFF);' storage_tests
mutation storage-report-rows-from-one storage/StatisticsReport.cpp \
    'text += "Linea " + std::to_string(line) + ":   "' 'text += "Linea " + std::to_string(line + 1) + ":   "' \
    storage_tests
mutation storage-temporary-left-behind storage/FileSystem.cpp \
    'calls_.Remove(temporary);' 'static_cast<void>(temporary);' storage_tests
mutation storage-read-only-file-replaced storage/FileSystem.cpp \
    'if (fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {' \
    'if (false) {' storage_tests
# storage: a replace's bytes reach the disk before the rename, and its failures are not ignored.
mutation storage-replace-without-flush storage/FileSystem.cpp 'ok = step(calls_.FlushToDisk(fd)) && ok;' '' storage_tests
mutation storage-rename-before-flush storage/FileSystem.cpp 'ok = step(calls_.FlushToDisk(fd)) && ok;' \
    'ok = ok && calls_.Rename(temporary, target) && calls_.FlushToDisk(fd);' storage_tests
mutation storage-failed-flush-ignored storage/FileSystem.cpp 'ok = step(calls_.FlushToDisk(fd)) && ok;' \
    'static_cast<void>(calls_.FlushToDisk(fd));' storage_tests
mutation storage-temporary-not-closed-after-failure storage/FileSystem.cpp 'ok = step(calls_.Close(fd)) && ok;' \
    'ok = ok && step(calls_.Close(fd));' storage_tests
mutation storage-folder-not-flushed storage/FileSystem.cpp 'calls_.FlushFolder(target.parent_path());' '' \
    storage_tests
mutation storage-full-disk-told-as-any-error storage/FileSystem.cpp \
    'case ENOSPC: return FileFailure::DiskFull;' 'case ENOSPC: return FileFailure::Other;' storage_tests
mutation storage-missing-file-told-as-missing-folder storage/FileSystem.cpp \
    'return creating || !folderThere ?' 'return creating || folderThere ?' storage_tests
mutation storage-short-limits-file-told-as-unreadable storage/LimitsFile.cpp \
    '? FileFailure::None : FileFailure::Damaged;' '? FileFailure::None : fileSystem.LastFailure();' operation_tests
