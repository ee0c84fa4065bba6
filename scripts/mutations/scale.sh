# Mutations of the scale layer: one `mutation` line each (see scripts/mutate.sh).

# scale: the link's time-outs, cancellations and close order.
mutation scale-read-weight-read-timeout scale/ScaleLink.cpp \
    'if (!Exchange(readPipe_, statusBuffer_, true, READ_WEIGHT_TIMEOUT_MS)) return std::nullopt;' \
    'if (!Exchange(readPipe_, statusBuffer_, true, READ_WEIGHT_TIMEOUT_MS + 1)) return std::nullopt;' \
    scale_link_tests
mutation scale-read-weight-timeout-value scale/ScaleConnection.h \
    'READ_WEIGHT_TIMEOUT_MS = 200;' 'READ_WEIGHT_TIMEOUT_MS = 201;' scale_link_tests
mutation scale-restart-timeout-value scale/ScaleConnection.h \
    'RESTART_TIMEOUT_MS = 100;' 'RESTART_TIMEOUT_MS = 101;' scale_link_tests
mutation scale-save-limits-timeout-value scale/ScaleConnection.h \
    'LIMITS_AFTER_SAVE_TIMEOUT_MS = 200;' 'LIMITS_AFTER_SAVE_TIMEOUT_MS = 199;' operation_tests
mutation scale-load-limits-timeout-value scale/ScaleConnection.h \
    'LIMITS_AFTER_LOAD_TIMEOUT_MS = 300;' 'LIMITS_AFTER_LOAD_TIMEOUT_MS = 301;' operation_tests
mutation scale-save-limits-with-load-timeout scale/LineLimits.cpp \
    'Send(context, LIMITS_AFTER_SAVE_TIMEOUT_MS);' 'Send(context, LIMITS_AFTER_LOAD_TIMEOUT_MS);' \
    operation_tests
mutation scale-cancel-not-awaited scale/ScaleLink.cpp \
    'status = pipe.WaitForCompletion(buffer, CANCEL_WAIT_MS);' 'status = pipe.WaitForCompletion(buffer, 0);' \
    scale_link_tests
mutation scale-left-over-transfer-ignored scale/ScaleLink.cpp \
    'if (buffer.Outstanding()) {' 'if (false) {' scale_link_tests
mutation scale-close-write-pipe-first scale/ScaleLink.cpp \
    'readPipe_.Close();' 'writePipe_.Close(); readPipe_.Close();' scale_link_tests
mutation scale-close-device-first scale/ScaleLink.cpp \
    'readPipe_.Close();' 'device_.Close(); readPipe_.Close();' scale_link_tests

# scale: finding and configuring the scale, and the packets the link accepts.
mutation scale-find-vendor-unchecked scale/ScaleLink.cpp \
    'vendor == SCALE_VENDOR_ID && product' 'vendor != 0 && product' scale_link_tests
mutation scale-find-product-unchecked scale/ScaleLink.cpp \
    'product == SCALE_PRODUCT_ID' 'product != 0xFFFF' scale_link_tests
mutation scale-find-index-127-examined scale/ScaleLink.cpp \
    'index < MAX_DEVICE_INDICES' 'index <= MAX_DEVICE_INDICES' scale_link_tests
mutation scale-find-not-identified-lost scale/ScaleLink.cpp \
    'result = FindResult::NotIdentified;' ';' scale_link_tests
mutation scale-configure-transfer-size scale/ScaleLink.cpp \
    'maximumTransferSize = COMMAND_PACKET_SIZE;' 'maximumTransferSize = STATUS_PACKET_SIZE;' scale_link_tests
mutation scale-short-status-accepted scale/ScaleLink.cpp \
    'return statusBuffer_.transferredBytes >= MIN_STATUS_BYTES;' 'return true;' scale_link_tests
mutation scale-short-weight-accepted scale/ScaleLink.cpp \
    'if (statusBuffer_.transferredBytes < MIN_WEIGHT_BYTES) return std::nullopt;' '' scale_link_tests
mutation scale-libusb-product-unchecked scale/libusb/LibusbScaleLink.cpp \
    'if (descriptor.idProduct == SCALE_PRODUCT_ID) {' 'if (true) {' libusb_link_tests
mutation scale-libusb-no-device-is-not-identified scale/libusb/LibusbScaleLink.cpp \
    'FindResult result = FindResult::NoDevice;' 'FindResult result = FindResult::NotIdentified;' libusb_link_tests
mutation scale-libusb-other-makers-devices-are-candidates scale/libusb/LibusbScaleLink.cpp \
    'if (descriptor.idVendor != SCALE_VENDOR_ID) continue;' '' libusb_link_tests
mutation scale-libusb-scale-in-use-unsaid scale/libusb/LibusbScaleLink.cpp \
    'busy_ = busy_ || error == LIBUSB_ERROR_BUSY;' 'busy_ = false;' libusb_link_tests
mutation scale-libusb-configuration-never-set scale/libusb/LibusbScaleLink.cpp \
    '(active == config->bConfigurationValue ||' '(true ||' libusb_link_tests
mutation scale-libusb-configuration-always-set scale/libusb/LibusbScaleLink.cpp \
    '(active == config->bConfigurationValue ||' '(false ||' libusb_link_tests
mutation scale-libusb-access-refusal-unseen scale/libusb/LibusbScaleLink.cpp \
    'accessRefused_ = opened == LIBUSB_ERROR_ACCESS;' 'accessRefused_ = false;' libusb_link_tests
mutation scale-libusb-short-packet-accepted scale/libusb/LibusbScaleLink.cpp \
    'actual_length) >= minimumBytes' 'actual_length) >= minimumBytes / 8' libusb_link_tests
mutation scale-libusb-cancelled-packet-dropped scale/libusb/LibusbScaleLink.cpp \
    'status == LIBUSB_TRANSFER_COMPLETED || status == LIBUSB_TRANSFER_CANCELLED' \
    'status == LIBUSB_TRANSFER_COMPLETED' libusb_link_tests
mutation scale-cancel-wait-value scale/ScaleConnection.h \
    'CANCEL_WAIT_MS = 50;' 'CANCEL_WAIT_MS = 500;' scale_link_tests libusb_link_tests

# scale: a lost scale is seen, sought again once a second and given its limits.
mutation scale-removal-taken-for-time-out scale/ScaleLink.cpp \
    'return status == platform::driver::DRIVER_DEVICE_REMOVED ||' 'return status == usbio::USB_STATUS_TIMEOUT ||' \
    scale_link_tests
mutation scale-libusb-removal-taken-for-time-out scale/libusb/LibusbScaleLink.cpp \
    'lost_ = lost_ || submitted == LIBUSB_ERROR_NO_DEVICE;' 'lost_ = lost_ || submitted == LIBUSB_ERROR_TIMEOUT;' \
    libusb_link_tests
mutation scale-reconnect-every-tick scale/LinkKeeper.cpp \
    'if (--program.ticksToReconnect > 0) return true;' 'if (false) return true;' scale_link_tests
mutation scale-limits-not-resent scale/LinkKeeper.cpp \
    'if (limits && !link.SendLimits(*limits, LIMITS_AFTER_SAVE_TIMEOUT_MS)) {' 'if (!limits) {' \
    scale_link_tests libusb_link_tests
mutation scale-mode-not-resumed scale/LinkKeeper.cpp \
    'program.scaleLost = false;' 'static_cast<void>(program);' scale_link_tests
mutation scale-sent-limits-not-kept-for-a-scale-that-comes-back scale/LineLimits.cpp \
    'context.program.limitsInForce = counts;' '' scale_link_tests
