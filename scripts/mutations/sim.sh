# Mutations of the simulator: the emulated driver and the simulated scale
# (one `mutation` line each, see scripts/mutate.sh).

# sim: the emulated driver.
mutation sim-driver-binds-twice sim/UsbioDriver.cpp \
    'if (handle.bound) return Failed(DRIVER_PIPE_ALREADY_BOUND);' '' emulated_kernel_tests usbio_tests
mutation sim-driver-ignores-direction sim/UsbioDriver.cpp \
    'if (in != read) return Failed(DRIVER_INVALID_DIRECTION);' \
    'if (in && !read) return Failed(DRIVER_INVALID_DIRECTION);' emulated_kernel_tests usbio_tests
mutation sim-driver-cancel-loses-race sim/UsbioDriver.cpp \
    'if (!Gone() && ServeRead(transfer, now, bytes)) {' 'if (false) {' emulated_kernel_tests usbio_tests
# sim: the simulated scale's protocol.
mutation sim-weight-reply-queued-last sim/SimulatedScale.cpp \
    'PushFront(MakeStatusPacket(sim_.state, PlatterCount(), 0), -1);' \
    'static_cast<void>(PushBack(MakeStatusPacket(sim_.state, PlatterCount(), 0), -1));' SimulatedScaleTest
mutation sim-limit-is-exclusive sim/SimulatedScale.cpp \
    'if (limits[static_cast<std::size_t>(line)] >= weight) return line;' \
    'if (limits[static_cast<std::size_t>(line)] > weight) return line;' SimulatedScaleTest
mutation sim-truncated-limits-taken sim/SimulatedScale.cpp \
    'if (size >= 1 + LINE_COUNT) {' 'if (size >= 1) {' SimulatedScaleTest
mutation sim-restart-keeps-reports sim/SimulatedScale.cpp '    FlushQueue();' '' SimulatedScaleTest
# sim: control requests the driver answers late.
mutation sim-late-control-answered-at-once sim/UsbioDriver.cpp \
    'const auto delay = delays_.find(request.code);' 'const auto delay = delays_.end();' usbio_tests
mutation sim-late-control-status-lost sim/UsbioDriver.cpp \
    'const std::uint32_t status = t.status;' 'const std::uint32_t status = 0;' usbio_tests
mutation sim-late-control-reply-not-delivered sim/UsbioDriver.cpp \
    'if (!t.reply.empty()) std::memcpy(t.data, t.reply.data(), t.reply.size());' '' usbio_tests

# sim: the simulated scale plugged in again.
mutation sim-plug-in-leaves-it-unplugged sim/SimulatedScale.cpp \
    'sim_.faults.unplugged = false;' 'sim_.faults.unplugged = true;' scale_link_tests
mutation sim-plug-key-only-unplugs sim/ScalePlug.h 'if (!PluggedIn()) {' 'if (false) {' scale_link_tests
mutation sim-removal-leaves-transfers-pending sim/UsbioDriver.cpp \
    'removed_ = true;' '' emulated_kernel_tests
