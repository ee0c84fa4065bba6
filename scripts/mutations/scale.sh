# Mutations of the scale layer: one `mutation` line each (see scripts/mutate.sh).

# scale: the link's time-outs, cancellations and close order.
mutation scale-read-weight-read-timeout scale/ScaleLink.cpp \
    'if (!Exchange(readPipe_, statusBuffer_, true, READ_WEIGHT_TIMEOUT_MS)) return std::nullopt;' \
    'if (!Exchange(readPipe_, statusBuffer_, true, READ_WEIGHT_TIMEOUT_MS + 1)) return std::nullopt;' \
    scale_link_tests
mutation scale-read-weight-timeout-value scale/ScaleLink.h \
    'READ_WEIGHT_TIMEOUT_MS = 200;' 'READ_WEIGHT_TIMEOUT_MS = 201;' scale_link_tests
mutation scale-restart-timeout-value scale/ScaleLink.h \
    'RESTART_TIMEOUT_MS = 100;' 'RESTART_TIMEOUT_MS = 101;' scale_link_tests
mutation scale-save-limits-timeout-value scale/ScaleLink.h \
    'LIMITS_AFTER_SAVE_TIMEOUT_MS = 200;' 'LIMITS_AFTER_SAVE_TIMEOUT_MS = 199;' scale_link_tests
mutation scale-load-limits-timeout-value scale/ScaleLink.h \
    'LIMITS_AFTER_LOAD_TIMEOUT_MS = 300;' 'LIMITS_AFTER_LOAD_TIMEOUT_MS = 301;' scale_link_tests
mutation scale-save-limits-with-load-timeout scale/LineLimits.cpp \
    'SendIfCalibrated(context, LIMITS_AFTER_SAVE_TIMEOUT_MS);' 'SendIfCalibrated(context, LIMITS_AFTER_LOAD_TIMEOUT_MS);' \
    scale_link_tests
mutation scale-cancel-not-awaited scale/ScaleLink.cpp \
    'status = pipe.WaitForCompletion(buffer, CANCEL_WAIT_MS);' 'status = pipe.WaitForCompletion(buffer, 0);' \
    scale_link_tests
mutation scale-left-over-transfer-ignored scale/ScaleLink.cpp \
    'if (buffer.Outstanding()) {' 'if (false) {' scale_link_tests
mutation scale-close-write-pipe-first scale/ScaleLink.cpp \
    'readPipe_.Close();' 'writePipe_.Close(); readPipe_.Close();' scale_link_tests
mutation scale-close-device-first scale/ScaleLink.cpp \
    'readPipe_.Close();' 'device_.Close(); readPipe_.Close();' scale_link_tests
