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
    'fs::remove(temporary, ec);' 'static_cast<void>(temporary);' storage_tests
mutation storage-read-only-file-replaced storage/FileSystem.cpp \
    'if (fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {' \
    'if (false) {' storage_tests
