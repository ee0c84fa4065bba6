// The system-call seam on Windows: every call goes straight to kernel32 or
// setupapi. The seam's own records have the Win32 layouts, so they are
// handed over as they are (the layouts are checked where <windows.h> is
// visible, in Win32SystemCalls.cpp).
#pragma once

#include "platform/SystemCalls.h"

namespace platform {

class Win32SystemCalls final : public SystemCalls {
public:
    Win32SystemCalls() = default;
    Win32SystemCalls(const Win32SystemCalls&) = delete;
    Win32SystemCalls& operator=(const Win32SystemCalls&) = delete;

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
};

// The implementation the process uses when nothing else was chosen: the
// real system on Windows.
SystemCalls& DefaultSystemCalls();

}  // namespace platform
