// kernel32's device calls: CreateFileA on a device name, DeviceIoControl,
// CloseHandle, and the last-error value that reports their failures.
#include <cstring>
#include <string>

#include "names.h"
#include "simpc/pc.h"
#include "win32_state.h"
#include "windows.h"

using simpc::Pc;

namespace {

void Fail(NTSTATUS status) { Pc::Current().win32().last_error = simpc::Win32ErrorFromStatus(status); }

// GENERIC_READ and GENERIC_WRITE grant the read and write data rights
// that request codes require.
ACCESS_MASK FileAccessOf(DWORD desired) {
    ACCESS_MASK access = desired & 0x00FFFFFF;
    if (desired & (GENERIC_READ | GENERIC_ALL)) {
        access |= FILE_READ_DATA;
    }
    if (desired & (GENERIC_WRITE | GENERIC_ALL)) {
        access |= FILE_WRITE_DATA;
    }
    return access;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)dwShareMode;
    (void)lpSecurityAttributes;
    (void)dwFlagsAndAttributes;
    (void)hTemplateFile;
    Pc& pc = Pc::Current();
    const std::string name = lpFileName != nullptr ? lpFileName : "";
    // "\\.\Name" is the Win32 form of the NT name "\??\Name" (\DosDevices).
    if (name.compare(0, 4, "\\\\.\\") != 0 || name.size() == 4) {
        pc.win32().last_error = 2;  // ERROR_FILE_NOT_FOUND: only devices live here
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        pc.win32().last_error = 87;
        return INVALID_HANDLE_VALUE;
    }
    PFILE_OBJECT file = nullptr;
    const NTSTATUS status =
        pc.io().OpenFile("\\??\\" + name.substr(4), FileAccessOf(dwDesiredAccess), &file);
    if (!NT_SUCCESS(status)) {
        Fail(status);
        return INVALID_HANDLE_VALUE;
    }
    pc.win32().last_error = 0;
    return pc.win32().AddHandle(file);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    Pc& pc = Pc::Current();
    PFILE_OBJECT file = pc.win32().FileOf(hDevice);
    if (file == nullptr) {
        pc.win32().last_error = 6;  // ERROR_INVALID_HANDLE
        return FALSE;
    }
    if (lpOverlapped != nullptr) {
        pc.win32().last_error = 87;  // handles here are synchronous
        return FALSE;
    }
    ULONG_PTR information = 0;
    const NTSTATUS status = pc.io().UserDeviceControl(file, dwIoControlCode, lpInBuffer,
                                                      nInBufferSize, lpOutBuffer, nOutBufferSize,
                                                      &information);
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = static_cast<DWORD>(information);
    }
    if (!NT_SUCCESS(status)) {
        Fail(status);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Pc& pc = Pc::Current();
    PFILE_OBJECT file = pc.win32().RemoveHandle(hObject);
    if (file == nullptr && pc.win32().RemoveObjectHandle(hObject)) {
        return TRUE;
    }
    if (file == nullptr) {
        pc.win32().last_error = 6;
        return FALSE;
    }
    pc.io().CloseHandleOf(file);
    return TRUE;
}

DWORD WINAPI GetLastError(void) { return Pc::Current().win32().last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { Pc::Current().win32().last_error = dwErrCode; }

DWORD WINAPI QueryDosDeviceA(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax) {
    Pc& pc = Pc::Current();
    if (lpDeviceName == nullptr) {
        pc.win32().last_error = 87;
        return 0;
    }
    auto target = pc.objects().LinkTarget(std::string("\\??\\") + lpDeviceName);
    if (!target) {
        pc.win32().last_error = 2;
        return 0;
    }
    // The reply is a list of NUL-terminated names ended by a second NUL.
    const DWORD needed = static_cast<DWORD>(target->size() + 2);
    if (ucchMax < needed) {
        pc.win32().last_error = 122;
        return 0;
    }
    std::memcpy(lpTargetPath, target->c_str(), target->size() + 1);
    lpTargetPath[target->size() + 1] = 0;
    return needed;
}

}  // extern "C"
