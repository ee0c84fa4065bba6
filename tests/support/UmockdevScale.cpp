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
#include <cstring>
#include <deque>
#include <optional>

namespace testing_support {
namespace {

constexpr int PIPE_FILL = 4096;  // one page: the smallest pipe there is

// The device descriptor and configuration 1 (interface 0, vendor class), in hex.
std::string Descriptors(const FakeUsbDevice& device) {
    const std::array<std::uint8_t, 18> head = device.model->DeviceDescriptor();
    std::vector<std::uint8_t> bytes(head.begin(), head.end());
    const auto count = static_cast<std::uint8_t>(2 - std::count(device.endpoints.begin(), device.endpoints.end(), 0));
    const auto total = static_cast<std::uint8_t>(9 + 9 + 7 * count);
    bytes.insert(bytes.end(), {9, 2, total, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, count, 0xFF, 0, 0, 0});
    for (const std::uint8_t address : device.endpoints) {
        const std::uint8_t size = (address & 0x80) != 0 ? 8 : 16;
        if (address != 0) bytes.insert(bytes.end(), {7, 5, address, device.transferType, size, 0, 1});
    }
    std::string text;
    for (const std::uint8_t byte : bytes) text += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    return text;
}

bool IsRead(const usbdevfs_urb* urb) { return (urb->endpoint & 0x80) != 0; }

const sim::InterfaceSetting INTERFACE_ZERO{0, 0, 16};

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

    void SetReadable(bool yes) {
        static char page[PIPE_FILL];
        if (readable != yes && (yes ? read(fifo, page, sizeof page) : write(fifo, page, sizeof page)) == PIPE_FILL)
            readable = yes;
    }
    void End(usbdevfs_urb* urb, int status, int length) {
        urb->status = status;
        urb->actual_length = length;
        ended.push_back(urb);
    }
};

UmockdevBus::UmockdevBus() {
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
        close(node->fifo);
    }
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

sim::Time UmockdevBus::Now() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void UmockdevBus::Plug(FakeUsbDevice device) {
    auto node = std::make_unique<Node>();
    const std::string number = std::to_string(nodes_.size() + 2);
    const std::string name = "bus/usb/001/" + std::string(3 - number.size(), '0') + number;
    node->devnode = "/dev/" + name;
    node->syspath = "/sys/devices/pci0000:00/usb1/1-" + number;
    umockdev_testbed_attach_ioctl(testbed_, node->devnode.c_str(), handler_, nullptr);
    // The kernel shows an empty bConfigurationValue while none is active.
    const std::string description =
        "P: /devices/pci0000:00/usb1/1-" + number + "\nN: " + name +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=" + name.substr(12) +
        "\nE: DEVNAME=" + node->devnode + "\nA: busnum=1\\n\nA: devnum=" + number +
        "\\n\nA: speed=12\\n\nA: bConfigurationValue=" + (device.configured ? "1\\n" : "") +
        "\nH: descriptors=" + Descriptors(device) + "\n";
    umockdev_testbed_add_from_string(testbed_, description.c_str(), nullptr);

    // A FIFO of one page, filled: libusb's poll waits until the bus empties it.
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    const std::string path = std::string(root) + node->devnode;
    g_free(root);
    unlink(path.c_str());
    mkfifo(path.c_str(), device.nodeLocked ? 0 : 0660);
    node->fifo = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    fcntl(node->fifo, F_SETPIPE_SZ, PIPE_FILL);
    node->setup = std::move(device);
    std::lock_guard<std::mutex> lock(mutex_);
    node->SetReadable(false);
    nodes_.push_back(std::move(node));
}

void UmockdevBus::Remove(std::size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    umockdev_testbed_remove_device(testbed_, nodes_.at(index)->syspath.c_str());
}

UmockdevBus::ModelAccess::~ModelAccess() {
    lock_.unlock();
    bus_.wake_.notify_all();
}

void UmockdevBus::Service(Node& node, sim::Time now) {
    sim::DeviceModel& model = *node.setup.model;
    for (auto it = node.pending.begin(); it != node.pending.end();) {
        usbdevfs_urb* urb = it->urb;
        sim::Packet packet;
        if (model.Unplugged()) {
            node.End(urb, -ESHUTDOWN, 0);
        } else if (it->unlinkedAt && *it->unlinkedAt <= now) {
            node.ended.push_back(urb);
        } else if (!it->unlinkedAt && IsRead(urb) && model.TakePacket(urb->endpoint, now, packet)) {
            const auto size = std::min<std::uint32_t>(packet.size, static_cast<std::uint32_t>(urb->buffer_length));
            std::memcpy(urb->buffer, packet.bytes.data(), size);
            node.End(urb, 0, static_cast<int>(size));
        } else {
            ++it;
            continue;
        }
        it = node.pending.erase(it);
    }
    node.SetReadable(!node.ended.empty() || model.Unplugged());
}

int UmockdevBus::HandleIoctl(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* self) {
    auto& bus = *static_cast<UmockdevBus*>(self);
    const char* devnode = umockdev_ioctl_client_get_devnode(client);
    // The caller lives in this process: the argument is its own pointer.
    void* argument = *reinterpret_cast<void**>(umockdev_ioctl_client_get_arg(client)->data);
    int result = -ENOTTY;
    {
        std::lock_guard<std::mutex> lock(bus.mutex_);
        for (const std::unique_ptr<Node>& node : bus.nodes_)
            if (node->devnode == devnode)
                result = bus.Answer(*node, umockdev_ioctl_client_get_request(client), argument);
    }
    bus.wake_.notify_all();
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? -result : 0);
    return TRUE;
}

int UmockdevBus::Answer(Node& node, unsigned long request, void* argument) {
    sim::DeviceModel& model = *node.setup.model;
    const sim::Time now = Now();
    if (request == USBDEVFS_GET_CAPABILITIES) {
        *static_cast<std::uint32_t*>(argument) = USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
        return 0;
    }
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        Service(node, now);
        if (node.ended.empty()) return model.Unplugged() ? -ENODEV : -EAGAIN;
        *static_cast<void**>(argument) = node.ended.front();
        node.ended.pop_front();
        Service(node, now);
        return 0;
    }
    if (model.Unplugged()) return -ENODEV;
    auto* urb = static_cast<usbdevfs_urb*>(argument);
    const auto pending = [&] {
        return std::find_if(node.pending.begin(), node.pending.end(), [&](const Urb& e) { return e.urb == urb; });
    };
    switch (request) {
        case USBDEVFS_GETDRIVER: return -ENODATA;
        case USBDEVFS_SETCONFIGURATION:
            ++setConfigurationRequests;
            if (node.setup.setConfigurationErrno != 0) return -node.setup.setConfigurationErrno;
            umockdev_testbed_set_attribute(testbed_, node.syspath.c_str(), "bConfigurationValue", "1");
            return 0;
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:  // claiming interface 0 configures the model, which may refuse (a stall)
            return model.SetConfiguration(0, &INTERFACE_ZERO, 1) != 0 ? -EPIPE : 0;
        case USBDEVFS_RELEASEINTERFACE: return 0;
        case USBDEVFS_SUBMITURB: {
            ++submissions;
            using Kind = sim::TransferOutcome::Kind;
            // A write is taken, refused or left pending; a read awaits its packet.
            const auto size = static_cast<std::uint32_t>(urb->buffer_length);
            const auto* bytes = static_cast<const std::uint8_t*>(urb->buffer);
            const Kind kind = IsRead(urb) ? Kind::Pending : model.Write(urb->endpoint, bytes, size, now).kind;
            if (kind == Kind::Pending) node.pending.push_back(Urb{urb, std::nullopt});
            else if (kind == Kind::Done) node.End(urb, 0, urb->buffer_length);
            else node.End(urb, -EPIPE, 0);
            Service(node, now);
            return 0;
        }
        case USBDEVFS_DISCARDURB: {
            ++discards;
            if (pending() == node.pending.end() || pending()->unlinkedAt) return -EINVAL;
            // A packet handed over now ends the URB as unlinked, with its bytes.
            model.OnCancel(urb->endpoint, now);
            Service(node, now);
            if (pending() == node.pending.end()) {
                urb->status = -ECONNRESET;
            } else {
                urb->status = -ENOENT;
                urb->actual_length = 0;
                pending()->unlinkedAt = now + discardDelay;
            }
            Service(node, now);
            return 0;
        }
        default: return -ENOTTY;
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
                const std::optional<sim::Time> due =
                    entry.unlinkedAt || !IsRead(entry.urb) ? entry.unlinkedAt : node->setup.model->NextEventTime(now);
                if (due && (!next || *due < *next)) next = due;
            }
        }
        // At least 1 ms ahead: an announced event that never comes must not spin.
        if (!next) wake_.wait(lock);
        else wake_.wait_for(lock, std::chrono::microseconds(std::max(*next, now + 1000) - now));
    }
}

bool SetFileOverride(bool overriding) {
    if (geteuid() != 0) return false;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    const std::uint32_t bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective = overriding ? data[0].effective | bits : data[0].effective & ~bits;
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace testing_support
