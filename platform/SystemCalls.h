// The system-call seam: exactly the kernel32 / setupapi calls the driver access
// layer makes, with their Win32 names, types and semantics. On Windows the
// calls are forwarded to the real system; everywhere else (and in tests, and
// with --simulate) an in-process emulated kernel answers them.
//
// Portable code includes this header, never <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG_PTR = std::uintptr_t;
using HANDLE = void*;
using HDEVINFO = void*;
using HWND = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPCSTR = const char*;

constexpr BOOL FALSE_ = 0;
constexpr BOOL TRUE_ = 1;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Error codes of the system that the layer looks at.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

// Same layout as the Win32 OVERLAPPED record (checked on Windows builds).
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        } s;
        void* Pointer;
    } u;
    HANDLE hEvent;
};

struct SECURITY_ATTRIBUTES;
struct SP_DEVINFO_DATA;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};

struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    char DevicePath[1];
};

// The fixed part's size as the system expects it in cbSize (8 on 64-bit
// builds, where setupapi.h packs the record to 8 bytes).
constexpr DWORD DEVICE_INTERFACE_DETAIL_FIXED_SIZE = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);

// Every result is a status or a handle: ignoring one is either a bug or a
// decision the caller writes down with static_cast<void>.
class SystemCalls {
public:
    virtual ~SystemCalls() = default;

    // setupapi
    [[nodiscard]] virtual HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent,
                                                        DWORD flags) = 0;
    [[nodiscard]] virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO list, SP_DEVINFO_DATA* deviceInfo,
                                                           const GUID* interfaceClass, DWORD memberIndex,
                                                           SP_DEVICE_INTERFACE_DATA* interfaceData) = 0;
    [[nodiscard]] virtual BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                                SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                                DWORD detailSize, DWORD* requiredSize,
                                                                SP_DEVINFO_DATA* deviceInfo) = 0;
    [[nodiscard]] virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list) = 0;

    // kernel32
    [[nodiscard]] virtual HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                             DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
    [[nodiscard]] virtual BOOL CloseHandle(HANDLE handle) = 0;
    [[nodiscard]] virtual HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState,
                                              LPCSTR name) = 0;
    [[nodiscard]] virtual BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                               DWORD outputSize, DWORD* bytesReturned, OVERLAPPED* overlapped) = 0;
    [[nodiscard]] virtual BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                                                   BOOL wait) = 0;
    [[nodiscard]] virtual DWORD GetLastError() = 0;
    [[nodiscard]] virtual BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, DWORD* bytesRead,
                                        OVERLAPPED* overlapped) = 0;
    [[nodiscard]] virtual BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, DWORD* bytesWritten,
                                         OVERLAPPED* overlapped) = 0;
    [[nodiscard]] virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    [[nodiscard]] virtual BOOL CancelIo(HANDLE handle) = 0;
    [[nodiscard]] virtual BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) = 0;
};

// The implementation in force for the process. Set once at start-up (or by a
// test) before any device object is used.
SystemCalls& Sys();

// Installs an implementation for the lifetime of the object and restores the
// previous one afterwards (tests).
class ScopedSys {
public:
    explicit ScopedSys(SystemCalls& calls);
    ~ScopedSys();
    ScopedSys(const ScopedSys&) = delete;
    ScopedSys& operator=(const ScopedSys&) = delete;

private:
    SystemCalls* previous_;
};

}  // namespace platform
