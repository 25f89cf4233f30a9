#include "driver_version.h"

#include "vexlor_ioctl.h"

static_assert(SETUP_DRIVER_MAJOR == LOR_VERSION_MAJOR && SETUP_DRIVER_MINOR == LOR_VERSION_MINOR,
              "the installer carries the driver built beside it");

WORD QueryDriverVersion(HANDLE device) {
    // The same two bytes go in and come back: major, minor.  The driver
    // fills them and reports no byte count, so the count is not read.
    BYTE version[2] = {0, 0};
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_LOR_GET_VERSION, version, sizeof version, version,
                         sizeof version, &returned, NULL)) {
        version[0] = 1;
        version[1] = 0;
    }
    return MakeDriverVersion(version[0], version[1]);
}

bool IsNewerThanCarried(WORD version) {
    const BYTE major = DriverMajor(version);
    return major > SETUP_DRIVER_MAJOR ||
           (major == SETUP_DRIVER_MAJOR && DriverMinor(version) > SETUP_DRIVER_MINOR);
}

namespace {

// Writes the decimal digits of a byte; returns the position after them.
char* PutDecimal(char* out, BYTE value) {
    if (value >= 100) {
        *out++ = static_cast<char>('0' + value / 100);
    }
    if (value >= 10) {
        *out++ = static_cast<char>('0' + value / 10 % 10);
    }
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

} // namespace

VersionText VersionToText(WORD version) {
    VersionText result;
    char* out = PutDecimal(result.text, DriverMajor(version));
    *out++ = '.';
    out = PutDecimal(out, DriverMinor(version));
    *out = '\0';
    return result;
}
