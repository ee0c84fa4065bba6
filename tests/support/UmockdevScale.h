// A umockdev USB bus whose device models answer usbfs ioctls in this process (on umockdev's thread, while the
// caller waits), on the monotonic clock: libusb waits for real, polling and reaping until a URB ends.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;

namespace testing_support {

struct FakeUsbDevice {
    std::shared_ptr<sim::DeviceModel> model;
    std::array<std::uint8_t, 2> endpoints{0x81, 0x02};  // of interface 0 (0: none)
    std::uint8_t transferType = 3;                      // 2 bulk, 3 interrupt
    bool configured = true;                             // configuration 1 active, as the kernel leaves it
    int setConfigurationErrno = 0;                      // what a set-configuration request gets
    bool nodeLocked = false;                            // the node grants nobody access (no udev rule)
};

class UmockdevBus {
public:
    UmockdevBus();
    ~UmockdevBus();
    UmockdevBus(const UmockdevBus&) = delete;
    UmockdevBus& operator=(const UmockdevBus&) = delete;

    // Adds the device as /dev/bus/usb/001/NNN, numbered from 2, before libusb first lists them.
    void Plug(FakeUsbDevice device);

    // What the devices were asked, all together.
    std::atomic<int> setConfigurationRequests{0};
    std::atomic<int> discards{0};
    std::atomic<int> submissions{0};
    // How long a discarded URB takes to end: a controller slow to give it back.
    std::atomic<sim::Time> discardDelay{0};

private:
    struct Urb;
    struct Node;
    sim::Time Now() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
    }
    static int HandleIoctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    // The ioctl's result, or -errno.
    int Answer(Node& node, unsigned long request, void* argument);
    // Ends whatever can end now.
    void Service(Node& node, sim::Time now);

    _UMockdevTestbed* testbed_ = nullptr;
    _UMockdevIoctlBase* handler_ = nullptr;
    std::vector<std::unique_ptr<Node>> nodes_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Gives or takes root's right to open any file, for the calling thread; false when it could not.
bool SetFileOverride(bool overriding);

}  // namespace testing_support
