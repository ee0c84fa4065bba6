#include "tests/support/UmockdevScale.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>

namespace testing_support {
namespace {

constexpr int PIPE_FILL = 4096;  // one page: the smallest pipe there is

std::int64_t MonotonicMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// The device descriptor followed by configuration 1 (interface 0, alternate
// setting 0, vendor class, with the device's endpoints), in hexadecimal.
std::string Descriptors(const FakeUsbDevice& device) {
    const std::array<std::uint8_t, 18> head = device.model->DeviceDescriptor();
    std::vector<std::uint8_t> bytes(head.begin(), head.end());
    const auto count = static_cast<std::uint8_t>(
        std::count_if(device.endpoints.begin(), device.endpoints.end(), [](std::uint8_t a) { return a != 0; }));
    const auto total = static_cast<std::uint8_t>(9 + 9 + 7 * count);
    bytes.insert(bytes.end(), {9, 2, total, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, count, 0xFF, 0, 0, 0});
    for (const std::uint8_t address : device.endpoints) {
        const std::uint8_t size = (address & 0x80) != 0 ? 8 : 16;
        if (address != 0) bytes.insert(bytes.end(), {7, 5, address, device.transferType, size, 0, 1});
    }
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
    return text;
}

}  // namespace

struct UmockdevBus::Urb {
    usbdevfs_urb* urb = nullptr;
    std::optional<sim::Time> unlinkedAt;  // discarded: ends as unlinked then
};

struct UmockdevBus::Node {
    FakeUsbDevice setup;
    std::string devnode;
    std::string syspath;
    int fifo = -1;
    bool readable = true;  // the FIFO is empty: libusb's poll sees it writable
    std::deque<Urb> pending;
    std::deque<usbdevfs_urb*> ended;
};

UmockdevBus::UmockdevBus() : start_(MonotonicMicroseconds()) {
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&UmockdevBus::HandleIoctl), this);
    waker_ = std::thread([this] { Run(); });
}

UmockdevBus::~UmockdevBus() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    waker_.join();
    for (const std::unique_ptr<Node>& node : nodes_) {
        umockdev_testbed_detach_ioctl(testbed_, node->devnode.c_str(), nullptr);
        if (node->fifo >= 0) close(node->fifo);
    }
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

sim::Time UmockdevBus::Now() const { return MonotonicMicroseconds() - start_; }

void UmockdevBus::Plug(FakeUsbDevice device) {
    auto node = std::make_unique<Node>();
    const std::size_t number = nodes_.size() + 2;
    char name[64];
    std::snprintf(name, sizeof name, "bus/usb/001/%03zu", number);
    node->devnode = std::string("/dev/") + name;
    umockdev_testbed_attach_ioctl(testbed_, node->devnode.c_str(), handler_, nullptr);
    const std::string description =
        "P: /devices/pci0000:00/usb1/1-" + std::to_string(number) + "\nN: " + name +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\n"
        "E: DEVNUM=" +
        std::string(name + 12) + "\nE: DEVNAME=" + node->devnode +
        "\nA: busnum=1\\n\nA: devnum=" + std::to_string(number) + "\\n\nA: speed=12\\n\nA: bConfigurationValue=" +
        // The kernel shows an empty file while no configuration is active.
        (device.configured ? "1\\n" : "") + "\nH: descriptors=" + Descriptors(device) + "\n";
    umockdev_testbed_add_from_string(testbed_, description.c_str(), nullptr);
    node->syspath = "/sys/devices/pci0000:00/usb1/1-" + std::to_string(number);

    // The node becomes a FIFO of one page, filled: not writable, so libusb's
    // poll waits until the bus empties it.
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    const std::string path = std::string(root) + node->devnode;
    g_free(root);
    unlink(path.c_str());
    mkfifo(path.c_str(), device.nodeLocked ? 0 : 0660);
    node->fifo = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    fcntl(node->fifo, F_SETPIPE_SZ, PIPE_FILL);
    node->setup = std::move(device);
    std::lock_guard<std::mutex> lock(mutex_);
    SetReadable(*node, false);
    nodes_.push_back(std::move(node));
}

UmockdevBus::ModelAccess::~ModelAccess() {
    lock_.unlock();
    bus_.wake_.notify_all();
}

void UmockdevBus::SetReadable(Node& node, bool readable) {
    if (node.readable == readable) return;
    static char page[PIPE_FILL];
    const ssize_t moved = readable ? read(node.fifo, page, sizeof page) : write(node.fifo, page, sizeof page);
    if (moved == PIPE_FILL) node.readable = readable;
}

void UmockdevBus::Service(Node& node, sim::Time now) {
    sim::DeviceModel& model = *node.setup.model;
    for (auto it = node.pending.begin(); it != node.pending.end();) {
        usbdevfs_urb* urb = it->urb;
        sim::Packet packet;
        bool done = true;
        if (model.Unplugged()) {
            urb->status = -ESHUTDOWN;
            urb->actual_length = 0;
        } else if (it->unlinkedAt) {
            done = *it->unlinkedAt <= now;
        } else if ((urb->endpoint & 0x80) != 0 && model.TakePacket(urb->endpoint, now, packet)) {
            const std::uint32_t size =
                std::min<std::uint32_t>(packet.size, static_cast<std::uint32_t>(urb->buffer_length));
            std::memcpy(urb->buffer, packet.bytes.data(), size);
            urb->status = 0;
            urb->actual_length = static_cast<int>(size);
        } else {
            done = false;
        }
        if (done) {
            node.ended.push_back(urb);
            it = node.pending.erase(it);
        } else {
            ++it;
        }
    }
    SetReadable(node, !node.ended.empty() || model.Unplugged());
}

int UmockdevBus::HandleIoctl(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* self) {
    auto& bus = *static_cast<UmockdevBus*>(self);
    const char* devnode = umockdev_ioctl_client_get_devnode(client);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    // The caller lives in this process: the argument is its own pointer.
    void* argument = *reinterpret_cast<void**>(umockdev_ioctl_client_get_arg(client)->data);
    int result = 0;
    int error = 0;
    {
        std::lock_guard<std::mutex> lock(bus.mutex_);
        Node* node = nullptr;
        for (const std::unique_ptr<Node>& candidate : bus.nodes_)
            if (candidate->devnode == devnode) node = candidate.get();
        if (node == nullptr || !bus.Answer(*node, request, argument, result, error)) {
            result = -1;
            error = ENOTTY;
        }
    }
    bus.wake_.notify_all();
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

bool UmockdevBus::Answer(Node& node, unsigned long request, void* argument, int& result, int& error) {
    sim::DeviceModel& model = *node.setup.model;
    const sim::Time now = Now();
    auto fail = [&](int code) {
        result = -1;
        error = code;
        return true;
    };
    if (request == USBDEVFS_GET_CAPABILITIES) {
        *static_cast<std::uint32_t*>(argument) = USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
        return true;
    }
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        Service(node, now);
        if (node.ended.empty()) return fail(model.Unplugged() ? ENODEV : EAGAIN);
        *static_cast<void**>(argument) = node.ended.front();
        node.ended.pop_front();
        Service(node, now);
        return true;
    }
    if (model.Unplugged()) return fail(ENODEV);
    switch (request) {
        case USBDEVFS_GETDRIVER: return fail(ENODATA);
        case USBDEVFS_SETCONFIGURATION:
            ++setConfigurationRequests;
            if (node.setup.setConfigurationErrno != 0) return fail(node.setup.setConfigurationErrno);
            umockdev_testbed_set_attribute(testbed_, node.syspath.c_str(), "bConfigurationValue", "1");
            return true;
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM: {
            // Taking interface 0 is where the device is configured for the
            // model: a model that refuses its configuration refuses the claim.
            const sim::InterfaceSetting setting{0, 0, 16};
            if (model.SetConfiguration(0, &setting, 1) != 0) return fail(EBUSY);
            return true;
        }
        case USBDEVFS_RELEASEINTERFACE: return true;
        case USBDEVFS_SUBMITURB: {
            auto* urb = static_cast<usbdevfs_urb*>(argument);
            ++submissions;
            using Kind = sim::TransferOutcome::Kind;
            // A write is taken, refused, or left pending (a stalled scale)
            // until it is discarded; a read waits for the model's packet.
            const Kind kind = (urb->endpoint & 0x80) != 0
                                  ? Kind::Pending
                                  : model
                                        .Write(urb->endpoint, static_cast<std::uint8_t*>(urb->buffer),
                                               static_cast<std::uint32_t>(urb->buffer_length), now)
                                        .kind;
            if (kind == Kind::Pending) {
                node.pending.push_back(Urb{urb, std::nullopt});
            } else {
                urb->status = kind == Kind::Done ? 0 : -EPIPE;
                urb->actual_length = kind == Kind::Done ? urb->buffer_length : 0;
                node.ended.push_back(urb);
            }
            Service(node, now);
            return true;
        }
        case USBDEVFS_DISCARDURB: {
            ++discards;
            const auto it = std::find_if(node.pending.begin(), node.pending.end(),
                                         [&](const Urb& entry) { return entry.urb == argument; });
            if (it == node.pending.end()) return fail(EINVAL);
            usbdevfs_urb* urb = it->urb;
            // A packet the model hands over now arrives while the URB is
            // being unlinked: the URB ends as unlinked, with the packet's
            // bytes, as a host controller reports it.
            model.OnCancel(urb->endpoint, now);
            Service(node, now);
            const auto ended = std::find(node.ended.begin(), node.ended.end(), urb);
            if (ended != node.ended.end()) {
                urb->status = -ECONNRESET;
            } else {
                const auto entry = std::find_if(node.pending.begin(), node.pending.end(),
                                                [&](const Urb& candidate) { return candidate.urb == urb; });
                if (entry->unlinkedAt) return fail(EINVAL);  // already being unlinked
                urb->status = -ENOENT;
                urb->actual_length = 0;
                entry->unlinkedAt = now + node.setup.discardDelay;
            }
            Service(node, now);
            return true;
        }
        default: return false;
    }
}

void UmockdevBus::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const sim::Time now = Now();
        std::optional<sim::Time> next;
        for (const std::unique_ptr<Node>& node : nodes_) {
            Service(*node, now);
            for (const Urb& entry : node->pending) {
                const std::optional<sim::Time> due = entry.unlinkedAt || (entry.urb->endpoint & 0x80) == 0
                                                         ? entry.unlinkedAt
                                                         : node->setup.model->NextEventTime(now);
                if (due && (!next || *due < *next)) next = due;
            }
        }
        if (!next) {
            wake_.wait(lock);
        } else {
            // Never sooner than a millisecond ahead: a model that announces
            // an event it then does not produce must not make this spin.
            const sim::Time at = std::max(*next, now + 1000);
            wake_.wait_for(lock, std::chrono::microseconds(at - now));
        }
    }
}

WithoutFileOverride::WithoutFileOverride() {
    if (geteuid() != 0) return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return;
    saved_[0] = data[0].effective;
    saved_[1] = data[1].effective;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    dropped_ = syscall(SYS_capset, &header, data) == 0;
}

WithoutFileOverride::~WithoutFileOverride() {
    if (!dropped_) return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return;
    data[0].effective = saved_[0];
    data[1].effective = saved_[1];
    syscall(SYS_capset, &header, data);
}

}  // namespace testing_support
