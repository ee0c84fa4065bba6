# Mutations of the usbio layer: one `mutation` line each (see scripts/mutate.sh).

# usbio: the device, its list, its records and events.
mutation usbio-open-without-overlapped-io usbio/UsbDevice.cpp \
    'platform::FILE_FLAG_OVERLAPPED, nullptr);' '0, nullptr);' usbio_tests scale_link_tests
mutation usbio-list-with-absent-devices usbio/UsbDevice.cpp \
    'platform::DIGCF_PRESENT | platform::DIGCF_DEVICEINTERFACE);' 'platform::DIGCF_DEVICEINTERFACE);' usbio_tests
mutation usbio-configuration-record-cut usbio/UsbDevice.cpp \
    'record.data(), static_cast<std::uint32_t>(record.size()), nullptr,' \
    'record.data(), static_cast<std::uint32_t>(record.size()) - 8, nullptr,' usbio_tests scale_link_tests
mutation usbio-device-event-manual-reset usbio/UsbDevice.cpp \
    'overlapped_.hEvent = Sys().CreateEventA(nullptr, platform::FALSE_,' \
    'overlapped_.hEvent = Sys().CreateEventA(nullptr, platform::TRUE_,' usbio_tests
# usbio: buffers and pipes.
mutation usbio-buffer-event-manual-reset usbio/UsbBuffer.cpp \
    'CreateEventA(nullptr, platform::FALSE_, platform::FALSE_, nullptr)' \
    'CreateEventA(nullptr, platform::TRUE_, platform::FALSE_, nullptr)' usbio_tests
mutation usbio-busy-refusal-says-pending usbio/UsbPipe.cpp \
    'if (buffer.Outstanding()) return Refuse(buffer, USB_STATUS_BUFFER_BUSY);' \
    'if (buffer.Outstanding()) return false;' usbio_tests
mutation usbio-busy-buffer-not-refused usbio/UsbPipe.cpp \
    'if (buffer.Outstanding()) return Refuse(buffer, USB_STATUS_BUFFER_BUSY);' \
    'if (false) return Refuse(buffer, USB_STATUS_BUFFER_BUSY);' usbio_tests
mutation usbio-wait-keeps-the-refusal usbio/UsbPipe.cpp \
    '    buffer.completionStatus = USB_STATUS_PENDING;' '' usbio_tests
mutation usbio-sync-cancel-not-awaited usbio/UsbPipe.cpp \
    'WaitForCompletion(buffer, platform::INFINITE) == USB_STATUS_SUCCESS' \
    'WaitForCompletion(buffer, 0) == USB_STATUS_SUCCESS' usbio_tests
# usbio: status texts.
mutation usbio-status-text-changed usbio/StatusText.cpp \
    '"Too much ISO packets. Adjust registry parameter."' '"Too many ISO packets. Adjust registry parameter."' \
    usbio_tests
mutation usbio-status-code-changed usbio/StatusText.cpp \
    '{0xE0001013, "Pipe not found."},' '{0xE0001031, "Pipe not found."},' usbio_tests
# usbio: records, binding and the buffer pool.
mutation usbio-configuration-record-short platform/DriverInterface.h \
    'constexpr std::size_t CONFIGURATION_REQUEST_SIZE = 260;' 'constexpr std::size_t CONFIGURATION_REQUEST_SIZE = 256;' \
    usbio_tests emulated_kernel_tests
mutation usbio-feature-index-misplaced usbio/DeviceRequests.cpp \
    'PutLe16(&record[6], index);' 'PutLe16(&record[4], index);' usbio_tests
mutation usbio-818-value-written-on-failure usbio/DeviceRequests.cpp \
    'if (status == USB_STATUS_SUCCESS) value = GetLe32(reply);' 'value = GetLe32(reply);' usbio_tests
mutation usbio-bind-drops-direction-bit usbio/UsbPipe.cpp \
    'const std::uint8_t record[1] = {endpointAddress};' \
    'const std::uint8_t record[1] = {static_cast<std::uint8_t>(endpointAddress & 0x7F)};' usbio_tests
mutation usbio-pool-uses-first-byte usbio/UsbBufferPool.cpp \
    'buffer.memory = block.get() + 1 + static_cast<std::size_t>(i) * bufferSize;' \
    'buffer.memory = block.get() + static_cast<std::size_t>(i) * bufferSize;' usbio_tests
mutation usbio-pool-takes-back-busy-buffer usbio/UsbBufferPool.cpp \
    'if (isFree_[index] || buffer->Outstanding()) return false;' 'if (isFree_[index]) return false;' usbio_tests
mutation usbio-pool-put-not-counted usbio/UsbBufferPool.cpp '    ++freeCount_;' '' usbio_tests
# usbio: a request the driver leaves pending is waited for, without a time limit, under the object's lock.
mutation usbio-pending-request-not-awaited usbio/UsbDevice.cpp \
    'if (error == platform::ERROR_IO_PENDING) {' 'if (false) {' usbio_tests
mutation usbio-pending-request-polled usbio/UsbDevice.cpp \
    'GetOverlappedResult(handle_, &overlapped_, &count, platform::TRUE_)' \
    'GetOverlappedResult(handle_, &overlapped_, &count, platform::FALSE_)' usbio_tests
mutation usbio-lock-dropped-around-wait usbio/UsbDevice.cpp \
    'if (!Sys().GetOverlappedResult(handle_, &overlapped_, &count, platform::TRUE_))' \
    'if (![&] { ioLock_.unlock(); const auto done = Sys().GetOverlappedResult(handle_, &overlapped_, &count, platform::TRUE_); ioLock_.lock(); return done; }())' \
    usbio_tests
mutation usbio-requests-without-lock usbio/UsbDevice.cpp '        std::lock_guard lock(ioLock_);' '' usbio_tests
