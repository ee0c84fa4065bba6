// A USB bus made with umockdev for the libusb road: each device is a device
// model (the simulated scale or a scripted device) whose usbfs requests
// (claims, configuration, URB submission, reaping and discarding) are
// answered in this process through umockdev's ioctl hook. The device node is
// a FIFO that the bus keeps full while nothing can be reaped and empties when
// a URB has ended, so libusb's poll sleeps until there is something to reap
// instead of spinning.
//
// libusb waits for real here, so the models run on the real (monotonic)
// clock, in microseconds since the bus was built. Devices must be plugged in
// before libusb lists them for the first time.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
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
    int setConfigurationErrno = 0;                      // what a set-configuration request gets (0: accepted)
    bool nodeLocked = false;                            // the node grants nobody access (no udev rule)
    // How long a discarded URB takes to end (microseconds): a host
    // controller that is slow to give a cancelled transfer back.
    sim::Time discardDelay = 0;
};

class UmockdevBus {
public:
    UmockdevBus();
    ~UmockdevBus();
    UmockdevBus(const UmockdevBus&) = delete;
    UmockdevBus& operator=(const UmockdevBus&) = delete;

    // Adds the device as /dev/bus/usb/001/NNN, numbered from 2 in the order
    // of plugging.
    void Plug(FakeUsbDevice device);

    // Holds the models still while a test changes or reads one, and lets the
    // bus look again at what fell due when it ends.
    class ModelAccess {
    public:
        explicit ModelAccess(UmockdevBus& bus) : bus_(bus), lock_(bus.mutex_) {}
        ~ModelAccess();
        ModelAccess(const ModelAccess&) = delete;
        ModelAccess& operator=(const ModelAccess&) = delete;

    private:
        UmockdevBus& bus_;
        std::unique_lock<std::mutex> lock_;
    };

    // What the devices were asked, all together.
    std::atomic<int> setConfigurationRequests{0};
    std::atomic<int> discards{0};
    std::atomic<int> submissions{0};

private:
    struct Urb;
    struct Node;
    sim::Time Now() const;  // the models' clock
    static int HandleIoctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    bool Answer(Node& node, unsigned long request, void* argument, int& result, int& error);
    // Ends whatever can end now; the node readable while a URB waits to be reaped.
    void Service(Node& node, sim::Time now);
    void SetReadable(Node& node, bool readable);
    void Run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    _UMockdevTestbed* testbed_ = nullptr;
    _UMockdevIoctlBase* handler_ = nullptr;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::thread waker_;
    std::int64_t start_ = 0;
};

// Takes away, for the calling thread and its life, the capability that lets
// root open any file: so that a locked device node refuses root as well.
class WithoutFileOverride {
public:
    WithoutFileOverride();
    ~WithoutFileOverride();
    WithoutFileOverride(const WithoutFileOverride&) = delete;
    WithoutFileOverride& operator=(const WithoutFileOverride&) = delete;

private:
    bool dropped_ = false;
    std::uint32_t saved_[2] = {};
};

}  // namespace testing_support
