// Port accesses made the way kernel code makes them: through the HAL's
// READ_PORT_* and WRITE_PORT_* routines of the simulated PC.
#pragma once

#include <cstdint>

#include "ntddk.h"

namespace hal_port {

template <typename T> T* At(uint32_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

inline uint32_t In(uint32_t address, int width) {
    switch (width) {
        case 1:
            return READ_PORT_UCHAR(At<UCHAR>(address));
        case 2:
            return READ_PORT_USHORT(At<USHORT>(address));
        default:
            return READ_PORT_ULONG(At<ULONG>(address));
    }
}

inline void Out(uint32_t address, int width, uint32_t value) {
    switch (width) {
        case 1:
            WRITE_PORT_UCHAR(At<UCHAR>(address), static_cast<UCHAR>(value));
            break;
        case 2:
            WRITE_PORT_USHORT(At<USHORT>(address), static_cast<USHORT>(value));
            break;
        default:
            WRITE_PORT_ULONG(At<ULONG>(address), value);
            break;
    }
}

inline uint8_t In8(uint32_t address) {
    return static_cast<uint8_t>(In(address, 1));
}
inline void Out8(uint32_t address, uint8_t value) {
    Out(address, 1, value);
}

// The EPP registers of a port at `base`: select a device register with an
// address cycle, then move bytes with data cycles.
struct EppHost {
    uint32_t base;
    void Select(uint8_t address_byte) const { Out8(base + 3, address_byte); }
    void Write(uint8_t value) const { Out8(base + 4, value); }
    uint8_t Read() const { return In8(base + 4); }
};

}  // namespace hal_port
