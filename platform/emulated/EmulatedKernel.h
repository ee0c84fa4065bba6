// A portable in-process kernel answering the system-call seam: a handle
// table, auto-reset and manual events, overlapped requests that complete at
// once, stay pending or fail, GetOverlappedResult with and without waiting,
// CancelIo / CancelIoEx, a per-thread last error, device-interface lists and
// the driver's device names, with emulated driver instances behind them.
//
// It is as strict as Windows where a mistake of the caller would only show
// on the real system: a handle opened without FILE_FLAG_OVERLAPPED does its
// I/O synchronously (the call returns when the request has ended, so no
// time-out of the caller can ever run out), reads and writes need the
// handle's read or write access, a list made without DIGCF_PRESENT also
// holds devices that are not plugged in, and a cancellation may take its
// time to end the request.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/DriverInterface.h"
#include "platform/SystemCalls.h"
#include "platform/emulated/Clock.h"

namespace platform::emulated {

using RequestId = std::uint64_t;

// The system's answer to a read or write on a handle opened without that
// access.
constexpr DWORD ERROR_ACCESS_DENIED = 5;

struct IoRequest {
    enum class Kind { Control, Read, Write } kind = Kind::Control;
    DWORD code = 0;  // control code
    const std::uint8_t* input = nullptr;
    DWORD inputSize = 0;
    std::uint8_t* output = nullptr;  // read data area, or control output
    DWORD outputSize = 0;
    std::uintptr_t handleContext = 0;  // the driver's own data for the handle
};

struct SubmitResult {
    bool pending = false;
    DWORD status = 0;  // 0 or the error, when not pending
    DWORD bytes = 0;
};

// Lets a driver finish a request it left pending.
class IoCompletion {
public:
    virtual ~IoCompletion() = default;
    virtual void Complete(RequestId id, DWORD status, DWORD bytes) = 0;
};

// One instance of an emulated driver's device (what "\\.\USBIO_DeviceN"
// and one device-interface path open). Called with the kernel's lock held.
class EmulatedDevice {
public:
    virtual ~EmulatedDevice() = default;
    // "vid_0c70&pid_0000": part of the device-interface path.
    virtual std::string HardwareId() const = 0;
    virtual GUID InterfaceClass() const { return DRIVER_INTERFACE_CLASS; }
    virtual std::uintptr_t OpenHandle() = 0;
    virtual void CloseHandle(std::uintptr_t context) = 0;
    // Either completes the request at once or leaves it pending and later
    // calls completion.Complete(id, ...), from Advance or Cancel.
    [[nodiscard]] virtual SubmitResult Submit(RequestId id, const IoRequest& request, IoCompletion& completion,
                                              Micros now) = 0;
    // Must complete the request before returning: aborted
    // (ERROR_OPERATION_ABORTED), or successfully when its data won the race.
    virtual void Cancel(RequestId id, IoCompletion& completion, Micros now) = 0;
    // The earliest time after `now` at which the device does something by
    // itself, if any.
    virtual std::optional<Micros> NextEventTime(Micros now) const = 0;
    virtual void Advance(IoCompletion& completion, Micros now) = 0;
    // The device was pulled out. From now on its driver fails every request
    // on its handles, as Windows' drivers do after a surprise removal, and
    // ends the pending ones before returning.
    virtual void Remove(IoCompletion& completion, Micros now) {
        static_cast<void>(completion);
        static_cast<void>(now);
    }
};

class EmulatedKernel final : public SystemCalls, private IoCompletion {
public:
    explicit EmulatedKernel(Clock& clock);
    ~EmulatedKernel() override;
    EmulatedKernel(const EmulatedKernel&) = delete;
    EmulatedKernel& operator=(const EmulatedKernel&) = delete;

    // Plugs a device in; returns its instance number ("\\.\USBIO_Device<n>").
    int AttachDevice(std::shared_ptr<EmulatedDevice> device);
    // Pulls it out: later lists do not show it and its names no longer open;
    // its driver is told, and fails every request on the handles still open.
    // Plugging the device in again is attaching a new instance.
    void DetachDevice(int instance);

    // Makes a system call fail: the hook sees each call's name before it
    // runs and returns 0 to let it run or an error code to fail it with.
    using FaultHook = std::function<DWORD(const char* call)>;
    void SetFaultHook(FaultHook hook);

    // From now on a cancellation asked for with CancelIo or CancelIoEx
    // reaches the driver only `delay` later on the clock: the request stays
    // outstanding meanwhile and may still end by itself. Closing a handle
    // still cancels at once: the driver aborts its pipes before the close
    // returns.
    void SetCancelDelay(Micros delay);

    Clock& GetClock() { return clock_; }
    // Lets a device's own schedule run up to the clock's present (tests that
    // move the virtual clock by hand).
    void RunDue();

    // What is held: for leak checks.
    std::size_t HandleCount() const;
    std::size_t EventCount() const;
    std::size_t DeviceHandleCount() const;
    std::size_t ListCount() const;
    std::size_t PendingRequestCount() const;
    std::size_t ManualResetEventCount() const;
    // Requests whose OVERLAPPED event was closed while they were still
    // outstanding: the caller released the record (and with it, as a rule,
    // the data area) of a transfer the system still owned. On Windows the
    // end of the request would write into freed memory; here the request is
    // cancelled at once and nothing more is written into its record.
    std::size_t AbandonedRequestCount() const;

    // SystemCalls
    HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO list, SP_DEVINFO_DATA* deviceInfo, const GUID* interfaceClass,
                                     DWORD memberIndex, SP_DEVICE_INTERFACE_DATA* interfaceData) override;
    BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                          DWORD* requiredSize, SP_DEVINFO_DATA* deviceInfo) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list) override;
    HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                         DWORD* bytesReturned, OVERLAPPED* overlapped) override;
    BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) override;
    DWORD GetLastError() override;
    BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, DWORD* bytesRead, OVERLAPPED* overlapped) override;
    BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, DWORD* bytesWritten, OVERLAPPED* overlapped) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL CancelIo(HANDLE handle) override;
    BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) override;

private:
    struct Instance {
        int number;
        std::shared_ptr<EmulatedDevice> device;
        std::string path;
        bool present = true;
    };
    struct Object {
        enum class Kind { Event, File, List } kind = Kind::Event;
        // Event
        bool manualReset = false;
        bool signaled = false;
        // File
        std::shared_ptr<EmulatedDevice> device;
        std::uintptr_t context = 0;
        DWORD access = 0;
        bool overlappedIo = false;  // opened with FILE_FLAG_OVERLAPPED
        // List: the instances present when it was made, in order.
        std::vector<int> instances;
    };
    struct Pending {
        RequestId id;
        std::uintptr_t handle;
        OVERLAPPED* overlapped;  // null once the caller has abandoned it
        HANDLE event;            // the record's event as it was at the start
        std::thread::id thread;
        std::shared_ptr<EmulatedDevice> device;
        std::optional<Micros> cancelAt;  // a cancellation on its way to the driver
    };

    void Complete(RequestId id, DWORD status, DWORD bytes) override;

    [[nodiscard]] bool Faulted(const char* call);
    static void SetError(DWORD error);
    Object* Find(HANDLE handle, Object::Kind kind);
    HANDLE AddObject(Object object);
    [[nodiscard]] BOOL Submit(HANDLE handle, const IoRequest& request, DWORD* bytes, OVERLAPPED* overlapped,
                              const char* call);
    void SignalEvent(HANDLE event);
    void RunDueLocked();
    std::optional<Micros> NextDeviceEvent();
    // Waits until the predicate holds or the deadline passes; false on time-out.
    template <typename Ready>
    [[nodiscard]] bool WaitLocked(std::unique_lock<std::mutex>& lock, Ready ready, std::optional<Micros> deadline);
    // Marks the matching requests for cancellation, delivered after the
    // cancellation delay unless `atOnce`. True when any matched.
    template <typename Match>
    [[nodiscard]] bool CancelWhere(Match match, bool atOnce);
    void DeliverCancel(const Pending& request);
    [[nodiscard]] BOOL WaitSynchronously(std::unique_lock<std::mutex>& lock, Pending request, const IoRequest& routed,
                                         DWORD* bytes, OVERLAPPED* overlapped);
    const Instance* FindInstance(int number) const;

    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<std::uintptr_t, Object> objects_;
    std::vector<Instance> instances_;
    std::vector<Pending> pending_;
    std::uintptr_t nextHandle_ = 0x100;
    RequestId nextRequest_ = 1;
    FaultHook faultHook_;
    Micros cancelDelay_ = 0;
    std::size_t abandoned_ = 0;
};

}  // namespace platform::emulated
