# Mutations of the scale operations and their pure rules: one `mutation` line
# each (see scripts/mutate.sh).

mutation ops-line-byte-two-bits scale/Protocol.h \
    'if (lineByte == 0 || (lineByte & (lineByte - 1)) != 0) return 0;' 'if (lineByte == 0) return 0;' \
    scale_rules_tests operation_tests
mutation ops-line-kilograms-not-summed scale/Statistics.cpp \
    'statistics.lineKilograms[index] += kilograms;' 'statistics.lineKilograms[index] = kilograms;' \
    scale_rules_tests
mutation ops-equal-limits-refused scale/LimitRules.cpp \
    'if (limits[line] > limits[line + 1]) return false;' 'if (limits[line] >= limits[line + 1]) return false;' \
    scale_rules_tests operation_tests
mutation ops-calibration-factor-off-by-one scale/Calibration.cpp \
    'static_cast<double>(context.values.referenceWeight) / difference' \
    'static_cast<double>(context.values.referenceWeight) / (difference + 1.0)' operation_tests
mutation ops-restart-enabled-outside-work ui/ModeTable.cpp \
    '{{true,  false, true,  true,  false, false}, NO_TIMER},    // Ready' \
    '{{true,  false, true,  true,  false, true }, NO_TIMER},    // Ready' main_dialog_tests
mutation ops-test-net-weight-unsigned scale/Calibration.cpp \
    'const int net = static_cast<int>(*reading) - static_cast<int>(context.program.zeroCount);' \
    'const int net = static_cast<std::uint8_t>(*reading - context.program.zeroCount);' operation_tests
# operations: a failed file operation must reach the operator (the file-fault sweep).
mutation ops-report-write-failure-unseen scale/WorkMode.cpp \
    'if (storage::WriteStatisticsReport(context.files, *path, bytes)) return;' \
    'if (storage::WriteStatisticsReport(context.files, *path, bytes) || true) return;' fault_tests
mutation ops-calibration-write-failure-unseen scale/Calibration.cpp \
    'if (storage::SaveCalibrationFile(context.files, data)) return true;' \
    'if (storage::SaveCalibrationFile(context.files, data) || true) return true;' operation_tests fault_tests
mutation ops-report-total-kilograms-of-line-8 scale/WorkMode.cpp \
    'figures.totalKilograms = statistics.totalKilogramsText;' \
    'figures.totalKilograms = statistics.lineKilogramsText[7];' main_dialog_tests
mutation ops-kilograms-one-decimal scale/Statistics.cpp \
    'std::chars_format::fixed, 2);' 'std::chars_format::fixed, 1);' main_dialog_tests
mutation ops-total-kilograms-last-item-only scale/Statistics.cpp \
    'statistics.totalKilograms += kilograms;' 'statistics.totalKilograms = kilograms;' main_dialog_tests
mutation ops-test-counts-shown-net scale/Calibration.cpp \
    'std::snprintf(counts, sizeof counts, "%u", static_cast<unsigned>(*reading));' \
    'std::snprintf(counts, sizeof counts, "%u", static_cast<unsigned>(net));' main_dialog_tests
mutation ops-startup-limits-not-sent scale/Calibration.cpp \
    'SendStoredLimits(context);' 'static_cast<void>(context);' operation_tests
mutation ops-save-stops-at-unwritten-limits-file scale/LineLimits.cpp \
    'const Sending sending = Send(context, LIMITS_AFTER_SAVE_TIMEOUT_MS);' \
    'const Sending sending = limitsFileFailure.empty() ? Send(context, LIMITS_AFTER_SAVE_TIMEOUT_MS) : Sending::NotSent;' \
    operation_tests
mutation ops-save-calibration-failure-unsaid scale/LineLimits.cpp \
    'calibrationFileFailure = CalibrationFileFailure(context);' '' operation_tests fault_tests
