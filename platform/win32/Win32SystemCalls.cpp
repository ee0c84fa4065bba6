// The seam's headers come first: once <windows.h> is in, names such as
// ERROR_SUCCESS or INVALID_HANDLE_VALUE are macros and the seam's own
// constants could no longer be declared.
#include "platform/win32/Win32SystemCalls.h"

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // CancelIoEx
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <setupapi.h>

#include <cstddef>

namespace platform {
namespace {

// The seam's records are handed to the system as they are: same sizes, same
// member offsets.
static_assert(sizeof(platform::GUID) == sizeof(::GUID));
static_assert(offsetof(platform::GUID, Data4) == offsetof(::GUID, Data4));

static_assert(sizeof(platform::OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(offsetof(platform::OVERLAPPED, Internal) == offsetof(::OVERLAPPED, Internal));
static_assert(offsetof(platform::OVERLAPPED, InternalHigh) == offsetof(::OVERLAPPED, InternalHigh));
static_assert(offsetof(platform::OVERLAPPED, u) == offsetof(::OVERLAPPED, Offset));
static_assert(offsetof(platform::OVERLAPPED, u) + sizeof(platform::DWORD) == offsetof(::OVERLAPPED, OffsetHigh));
static_assert(offsetof(platform::OVERLAPPED, hEvent) == offsetof(::OVERLAPPED, hEvent));

static_assert(sizeof(platform::SP_DEVICE_INTERFACE_DATA) == sizeof(::SP_DEVICE_INTERFACE_DATA));
static_assert(offsetof(platform::SP_DEVICE_INTERFACE_DATA, cbSize) == offsetof(::SP_DEVICE_INTERFACE_DATA, cbSize));
static_assert(offsetof(platform::SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid) ==
              offsetof(::SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid));
static_assert(offsetof(platform::SP_DEVICE_INTERFACE_DATA, Flags) == offsetof(::SP_DEVICE_INTERFACE_DATA, Flags));
static_assert(offsetof(platform::SP_DEVICE_INTERFACE_DATA, Reserved) == offsetof(::SP_DEVICE_INTERFACE_DATA, Reserved));

static_assert(sizeof(platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A) == sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(offsetof(platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) ==
              offsetof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
static_assert(DEVICE_INTERFACE_DETAIL_FIXED_SIZE == sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A));

static_assert(sizeof(platform::DWORD) == sizeof(::DWORD));
static_assert(sizeof(platform::BOOL) == sizeof(::BOOL));

const ::GUID* Native(const platform::GUID* guid) { return reinterpret_cast<const ::GUID*>(guid); }
::LPOVERLAPPED Native(platform::OVERLAPPED* overlapped) { return reinterpret_cast<::LPOVERLAPPED>(overlapped); }
::PSP_DEVINFO_DATA Native(platform::SP_DEVINFO_DATA* data) { return reinterpret_cast<::PSP_DEVINFO_DATA>(data); }
::PSP_DEVICE_INTERFACE_DATA Native(platform::SP_DEVICE_INTERFACE_DATA* data) {
    return reinterpret_cast<::PSP_DEVICE_INTERFACE_DATA>(data);
}
::PSP_DEVICE_INTERFACE_DETAIL_DATA_A Native(platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A* data) {
    return reinterpret_cast<::PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(data);
}
::LPSECURITY_ATTRIBUTES Native(platform::SECURITY_ATTRIBUTES* security) {
    return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(security);
}

// The seam's DWORD is a 32-bit unsigned int and the system's an unsigned
// long: same size, different types. An out count goes through a system
// DWORD that starts with the caller's value, so that a count the system
// leaves alone stays untouched for the caller too.
class OutCount {
public:
    explicit OutCount(platform::DWORD* target) : target_(target), value_(target ? *target : 0) {}
    ~OutCount() {
        if (target_) *target_ = static_cast<platform::DWORD>(value_);
    }
    OutCount(const OutCount&) = delete;
    OutCount& operator=(const OutCount&) = delete;
    ::LPDWORD Get() { return target_ ? &value_ : nullptr; }

private:
    platform::DWORD* target_;
    ::DWORD value_;
};

}  // namespace

HDEVINFO Win32SystemCalls::SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags) {
    return ::SetupDiGetClassDevsA(Native(classGuid), enumerator, static_cast<::HWND>(parent), flags);
}

BOOL Win32SystemCalls::SetupDiEnumDeviceInterfaces(HDEVINFO list, SP_DEVINFO_DATA* deviceInfo,
                                                   const GUID* interfaceClass, DWORD memberIndex,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData) {
    return ::SetupDiEnumDeviceInterfaces(list, Native(deviceInfo), Native(interfaceClass), memberIndex,
                                         Native(interfaceData));
}

BOOL Win32SystemCalls::SetupDiGetDeviceInterfaceDetailA(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                        SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                                        DWORD* requiredSize, SP_DEVINFO_DATA* deviceInfo) {
    OutCount required(requiredSize);
    return ::SetupDiGetDeviceInterfaceDetailA(list, Native(interfaceData), Native(detail), detailSize, required.Get(),
                                              Native(deviceInfo));
}

BOOL Win32SystemCalls::SetupDiDestroyDeviceInfoList(HDEVINFO list) { return ::SetupDiDestroyDeviceInfoList(list); }

HANDLE Win32SystemCalls::CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(name, access, share, Native(security), disposition, flags, templateFile);
}

BOOL Win32SystemCalls::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

HANDLE Win32SystemCalls::CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name) {
    return ::CreateEventA(Native(security), manualReset, initialState, name);
}

BOOL Win32SystemCalls::DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                       DWORD outputSize, DWORD* bytesReturned, OVERLAPPED* overlapped) {
    OutCount returned(bytesReturned);
    return ::DeviceIoControl(device, code, input, inputSize, output, outputSize, returned.Get(), Native(overlapped));
}

BOOL Win32SystemCalls::GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    OutCount transferred(bytesTransferred);
    return ::GetOverlappedResult(handle, Native(overlapped), transferred.Get(), wait);
}

DWORD Win32SystemCalls::GetLastError() { return ::GetLastError(); }

BOOL Win32SystemCalls::ReadFile(HANDLE handle, LPVOID buffer, DWORD size, DWORD* bytesRead, OVERLAPPED* overlapped) {
    OutCount read(bytesRead);
    return ::ReadFile(handle, buffer, size, read.Get(), Native(overlapped));
}

BOOL Win32SystemCalls::WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, DWORD* bytesWritten,
                                 OVERLAPPED* overlapped) {
    OutCount written(bytesWritten);
    return ::WriteFile(handle, buffer, size, written.Get(), Native(overlapped));
}

DWORD Win32SystemCalls::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL Win32SystemCalls::CancelIo(HANDLE handle) { return ::CancelIo(handle); }

BOOL Win32SystemCalls::CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) {
    return ::CancelIoEx(handle, Native(overlapped));
}

SystemCalls& DefaultSystemCalls() {
    static Win32SystemCalls calls;
    return calls;
}

}  // namespace platform
