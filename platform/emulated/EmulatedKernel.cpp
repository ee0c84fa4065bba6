// The emulated kernel's objects: the handle table, events, devices and
// their names, and device-interface lists. Requests and waits are in
// EmulatedKernelIo.cpp.
#include "platform/emulated/EmulatedKernel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform::emulated {
namespace {

// SP_DEVICE_INTERFACE_DATA.Flags of an interface whose device is present.
constexpr DWORD SPINT_ACTIVE = 1;

thread_local DWORD lastError = 0;

std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

// "\\.\USBIO_Device<n>" gives n; anything else gives -1.
int DeviceNumber(const char* name) {
    static constexpr char PREFIX[] = "\\\\.\\USBIO_Device";
    const std::size_t length = sizeof PREFIX - 1;
    if (std::strncmp(name, PREFIX, length) != 0) return -1;
    const char* digits = name + length;
    if (*digits == '\0') return -1;
    int number = 0;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || number > 100000) return -1;
        number = number * 10 + (*c - '0');
    }
    return number;
}

}  // namespace

EmulatedKernel::EmulatedKernel(Clock& clock) : clock_(clock) {
    // Exchanges must not allocate in steady state: keep room for requests.
    pending_.reserve(64);
}

EmulatedKernel::~EmulatedKernel() {
    std::unique_lock lock(mutex_);
    // Whatever is still outstanding is cancelled as the system would when
    // the handles are closed at process end. Its owners may be gone by now:
    // nothing is written into their records any more.
    for (Pending& p : pending_) p.overlapped = nullptr;
    while (!pending_.empty()) {
        Pending request = pending_.back();
        request.device->Cancel(request.id, *this, clock_.Now());
        // A driver that failed to complete it must not keep us looping.
        std::erase_if(pending_, [&](const Pending& p) { return p.id == request.id; });
    }
    for (auto& [key, object] : objects_)
        if (object.kind == Object::Kind::File) object.device->CloseHandle(object.context);
}

int EmulatedKernel::AttachDevice(std::shared_ptr<EmulatedDevice> device) {
    std::unique_lock lock(mutex_);
    const int number = static_cast<int>(instances_.size());
    std::string path = "\\\\?\\usb#" + device->HardwareId() + "#" + std::to_string(number + 5) + "&1&0&1#" +
                       GuidText(device->InterfaceClass());
    instances_.push_back(Instance{number, std::move(device), std::move(path), true});
    return number;
}

void EmulatedKernel::DetachDevice(int instance) {
    std::unique_lock lock(mutex_);
    for (Instance& i : instances_) {
        if (i.number != instance || !i.present) continue;
        i.present = false;
        i.device->Remove(*this, clock_.Now());
    }
}

void EmulatedKernel::SetCancelDelay(Micros delay) {
    std::unique_lock lock(mutex_);
    cancelDelay_ = delay;
}

void EmulatedKernel::SetFaultHook(FaultHook hook) {
    std::unique_lock lock(mutex_);
    faultHook_ = std::move(hook);
}

void EmulatedKernel::RunDue() {
    std::unique_lock lock(mutex_);
    RunDueLocked();
}

std::size_t EmulatedKernel::HandleCount() const {
    std::unique_lock lock(mutex_);
    return objects_.size();
}

std::size_t EmulatedKernel::EventCount() const {
    std::unique_lock lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        objects_.begin(), objects_.end(), [](const auto& entry) { return entry.second.kind == Object::Kind::Event; }));
}

std::size_t EmulatedKernel::DeviceHandleCount() const {
    std::unique_lock lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        objects_.begin(), objects_.end(), [](const auto& entry) { return entry.second.kind == Object::Kind::File; }));
}

std::size_t EmulatedKernel::ListCount() const {
    std::unique_lock lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        objects_.begin(), objects_.end(), [](const auto& entry) { return entry.second.kind == Object::Kind::List; }));
}

std::size_t EmulatedKernel::PendingRequestCount() const {
    std::unique_lock lock(mutex_);
    return pending_.size();
}

std::size_t EmulatedKernel::ManualResetEventCount() const {
    std::unique_lock lock(mutex_);
    return static_cast<std::size_t>(std::count_if(objects_.begin(), objects_.end(), [](const auto& entry) {
        return entry.second.kind == Object::Kind::Event && entry.second.manualReset;
    }));
}

std::size_t EmulatedKernel::AbandonedRequestCount() const {
    std::unique_lock lock(mutex_);
    return abandoned_;
}

bool EmulatedKernel::Faulted(const char* call) {
    if (!faultHook_) return false;
    const DWORD error = faultHook_(call);
    if (error == 0) return false;
    SetError(error);
    return true;
}

void EmulatedKernel::SetError(DWORD error) { lastError = error; }

EmulatedKernel::Object* EmulatedKernel::Find(HANDLE handle, Object::Kind kind) {
    auto it = objects_.find(Key(handle));
    if (it == objects_.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

HANDLE EmulatedKernel::AddObject(Object object) {
    const std::uintptr_t key = nextHandle_;
    nextHandle_ += 4;
    objects_.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

const EmulatedKernel::Instance* EmulatedKernel::FindInstance(int number) const {
    for (const Instance& i : instances_)
        if (i.number == number) return &i;
    return nullptr;
}

// ---- device-interface lists -------------------------------------------------

HDEVINFO EmulatedKernel::SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR, HWND, DWORD flags) {
    std::unique_lock lock(mutex_);
    if (Faulted("SetupDiGetClassDevsA")) return INVALID_HANDLE_VALUE;
    if (classGuid == nullptr || (flags & DIGCF_DEVICEINTERFACE) == 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Object list;
    list.kind = Object::Kind::List;
    for (const Instance& i : instances_)
        if (i.device->InterfaceClass() == *classGuid && (i.present || (flags & DIGCF_PRESENT) == 0))
            list.instances.push_back(i.number);
    return AddObject(std::move(list));
}

BOOL EmulatedKernel::SetupDiEnumDeviceInterfaces(HDEVINFO list, SP_DEVINFO_DATA*, const GUID* interfaceClass,
                                                 DWORD memberIndex, SP_DEVICE_INTERFACE_DATA* interfaceData) {
    std::unique_lock lock(mutex_);
    if (Faulted("SetupDiEnumDeviceInterfaces")) return FALSE_;
    Object* object = Find(list, Object::Kind::List);
    if (object == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        interfaceClass == nullptr) {
        SetError(interfaceClass == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_USER_BUFFER);
        return FALSE_;
    }
    DWORD seen = 0;
    for (int number : object->instances) {
        const Instance* instance = FindInstance(number);
        if (!(instance->device->InterfaceClass() == *interfaceClass)) continue;
        if (seen++ != memberIndex) continue;
        interfaceData->InterfaceClassGuid = *interfaceClass;
        interfaceData->Flags = instance->present ? SPINT_ACTIVE : 0;
        interfaceData->Reserved = static_cast<ULONG_PTR>(number) + 1;
        return TRUE_;
    }
    SetError(ERROR_NO_MORE_ITEMS);
    return FALSE_;
}

BOOL EmulatedKernel::SetupDiGetDeviceInterfaceDetailA(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                                      DWORD* requiredSize, SP_DEVINFO_DATA*) {
    std::unique_lock lock(mutex_);
    if (Faulted("SetupDiGetDeviceInterfaceDetailA")) return FALSE_;
    Object* object = Find(list, Object::Kind::List);
    if (object == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    if (interfaceData == nullptr || interfaceData->Reserved == 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    const Instance* instance = FindInstance(static_cast<int>(interfaceData->Reserved - 1));
    if (instance == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + instance->path.size() + 1);
    if (requiredSize != nullptr) *requiredSize = needed;
    if (detail == nullptr) {
        SetError(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
        return FALSE_;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetError(ERROR_INVALID_USER_BUFFER);
        return FALSE_;
    }
    if (detailSize < needed) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE_;
    }
    std::memcpy(detail->DevicePath, instance->path.c_str(), instance->path.size() + 1);
    return TRUE_;
}

BOOL EmulatedKernel::SetupDiDestroyDeviceInfoList(HDEVINFO list) {
    std::unique_lock lock(mutex_);
    if (Faulted("SetupDiDestroyDeviceInfoList")) return FALSE_;
    if (Find(list, Object::Kind::List) == nullptr) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    objects_.erase(Key(list));
    return TRUE_;
}

// ---- handles and events -----------------------------------------------------

HANDLE EmulatedKernel::CreateFileA(LPCSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD flags, HANDLE) {
    std::unique_lock lock(mutex_);
    if (Faulted("CreateFileA")) return INVALID_HANDLE_VALUE;
    if (name == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const Instance* target = nullptr;
    const int number = DeviceNumber(name);
    for (const Instance& i : instances_) {
        if (!i.present) continue;
        if ((number >= 0 && i.number == number) || (number < 0 && i.path == name)) target = &i;
    }
    if (target == nullptr) {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Object file;
    file.kind = Object::Kind::File;
    file.device = target->device;
    file.context = target->device->OpenHandle();
    file.access = access;
    file.overlappedIo = (flags & FILE_FLAG_OVERLAPPED) != 0;
    return AddObject(std::move(file));
}

HANDLE EmulatedKernel::CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, LPCSTR) {
    std::unique_lock lock(mutex_);
    if (Faulted("CreateEventA")) return nullptr;
    Object event;
    event.kind = Object::Kind::Event;
    event.manualReset = manualReset != FALSE_;
    event.signaled = initialState != FALSE_;
    return AddObject(std::move(event));
}

DWORD EmulatedKernel::GetLastError() { return lastError; }

}  // namespace platform::emulated
