// A umockdev USB bus whose device models answer usbfs ioctls in this process, on the monotonic clock (libusb
// waits for real). Each node is a FIFO kept full until a URB can be reaped, so libusb's poll sleeps, not spins.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
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

    // Adds the device as /dev/bus/usb/001/NNN, numbered from 2, before libusb first lists them.
    void Plug(FakeUsbDevice device);
    // The device's sysfs entry leaves the bus (its model is unplugged by the test).
    void Remove(std::size_t index);

    // Holds the models still while a test changes or reads one.
    class ModelAccess {
    public:
        explicit ModelAccess(UmockdevBus& bus) : bus_(bus), lock_(bus.mutex_) {}
        ~ModelAccess();

    private:
        UmockdevBus& bus_;
        std::unique_lock<std::mutex> lock_;
    };

    // What the devices were asked, all together.
    std::atomic<int> setConfigurationRequests{0};
    std::atomic<int> discards{0};
    std::atomic<int> submissions{0};
    // How long a discarded URB takes to end: a controller slow to give it back.
    std::atomic<sim::Time> discardDelay{0};

private:
    struct Urb;
    struct Node;
    sim::Time Now() const;
    static int HandleIoctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    int Answer(Node& node, unsigned long request, void* argument);  // the ioctl's result, or -errno
    void Service(Node& node, sim::Time now);  // ends what can end; readable while a URB waits to be reaped
    void Run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    _UMockdevTestbed* testbed_ = nullptr;
    _UMockdevIoctlBase* handler_ = nullptr;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::thread waker_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Gives or takes root's right to open any file, for the calling thread; false when it could not.
bool SetFileOverride(bool overriding);

}  // namespace testing_support
