// device_session: one application session on the vexlor device, with only
// the requests that leave the port alone: open, the version query, the no-op,
// a code the driver does not serve, close.
//
//   device_session    exit 0 when every step gave the expected answer
//
// Each step prints one line; exit 1 at the first unexpected answer.  Codes
// that reach the port (line control, EPP mode, register access, transfers)
// are never sent: the host has no port behind the driver.

#include <windows.h>

#include <cstdio>

#include "vexlor_ioctl.h"

namespace {

// Function 0x91C of the acquisition type: one past the last code served.
constexpr DWORD kUnservedCode = LOR_ACQ_CODE(0x91C, LOR_METHOD_OUT_DIRECT);
static_assert(kUnservedCode == 0x9C40E472u, "unserved code");

bool Check(bool ok, const char* step) {
    std::printf("%s: %s\n", step, ok ? "ok" : "FAILED");
    return ok;
}

bool QueryVersion(HANDLE device) {
    BYTE version[2] = {0xEE, 0xEE};
    DWORD returned = 0xDEADBEEF;
    const BOOL ok = DeviceIoControl(device, IOCTL_LOR_GET_VERSION, nullptr, 0, version,
                                    sizeof version, &returned, nullptr);
    std::printf("GET_VERSION: result %d, bytes %u %u, %lu bytes returned\n", ok, version[0],
                version[1], static_cast<unsigned long>(returned));
    return Check(ok && version[0] == LOR_VERSION_MAJOR && version[1] == LOR_VERSION_MINOR &&
                     returned == 0,
                 "version 2.4 in the buffer, 0 bytes returned");
}

bool SendNop(HANDLE device) {
    DWORD returned = 0xDEADBEEF;
    const BOOL ok =
        DeviceIoControl(device, IOCTL_LOR_NOP, nullptr, 0, nullptr, 0, &returned, nullptr);
    return Check(ok && returned == 0, "NOP succeeds with 0 bytes");
}

bool SendUnservedCode(HANDLE device) {
    DWORD returned = 0;
    SetLastError(0);
    const BOOL ok =
        DeviceIoControl(device, kUnservedCode, nullptr, 0, nullptr, 0, &returned, nullptr);
    const DWORD error = ok ? 0 : GetLastError();
    std::printf("code 0x%08lX: result %d, error %lu\n", static_cast<unsigned long>(kUnservedCode),
                ok, static_cast<unsigned long>(error));
    return Check(!ok && error == ERROR_INVALID_FUNCTION, "unserved code fails with error 1");
}

} // namespace

int main() {
    HANDLE device =
        CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        std::printf("open %s: error %lu\n", LOR_WIN32_DEVICE_PATH,
                    static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("open %s: ok\n", LOR_WIN32_DEVICE_PATH);

    const bool passed = QueryVersion(device) && SendNop(device) && SendUnservedCode(device);
    const bool closed = Check(CloseHandle(device) != FALSE, "close");
    return passed && closed ? 0 : 1;
}
