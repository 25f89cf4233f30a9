// Version words of the driver: the low byte is the major version, the high
// byte the minor version, both unsigned.
#pragma once

#include <windows.h>

// The version of the driver this installer carries: 2.4.
#define SETUP_DRIVER_MAJOR 2
#define SETUP_DRIVER_MINOR 4

inline WORD MakeDriverVersion(BYTE major, BYTE minor) {
    return static_cast<WORD>(major | (minor << 8));
}
inline BYTE DriverMajor(WORD version) {
    return static_cast<BYTE>(version & 0xFF);
}
inline BYTE DriverMinor(WORD version) {
    return static_cast<BYTE>(version >> 8);
}

// Asks the driver behind an open device handle for its version.  A query
// that fails counts as version 1.0.
WORD QueryDriverVersion(HANDLE device);

// Whether a running driver of this version is newer than the one carried.
bool IsNewerThanCarried(WORD version);

// "major.minor" in decimal, e.g. "2.4"; "255.255" is the longest.
struct VersionText {
    char text[8];
};
VersionText VersionToText(WORD version);
