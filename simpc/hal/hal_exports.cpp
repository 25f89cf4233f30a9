// The HAL's port I/O, processor stall and bus address translation as
// kernel code imports them.
#include <cstdint>

#include "simpc/pc.h"

using simpc::Pc;

namespace {

uint32_t PortAddress(const void* port) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(port));
}

}  // namespace

extern "C" {

UCHAR NTAPI READ_PORT_UCHAR(PUCHAR Port) {
    return static_cast<UCHAR>(Pc::Current().bus().Read(PortAddress(Port), 1));
}

USHORT NTAPI READ_PORT_USHORT(PUSHORT Port) {
    return static_cast<USHORT>(Pc::Current().bus().Read(PortAddress(Port), 2));
}

ULONG NTAPI READ_PORT_ULONG(PULONG Port) { return Pc::Current().bus().Read(PortAddress(Port), 4); }

VOID NTAPI WRITE_PORT_UCHAR(PUCHAR Port, UCHAR Value) {
    Pc::Current().bus().Write(PortAddress(Port), 1, Value);
}

VOID NTAPI WRITE_PORT_USHORT(PUSHORT Port, USHORT Value) {
    Pc::Current().bus().Write(PortAddress(Port), 2, Value);
}

VOID NTAPI WRITE_PORT_ULONG(PULONG Port, ULONG Value) {
    Pc::Current().bus().Write(PortAddress(Port), 4, Value);
}

VOID NTAPI KeStallExecutionProcessor(ULONG MicroSeconds) {
    Pc::Current().bus().Stall(MicroSeconds);
}

BOOLEAN NTAPI HalTranslateBusAddress(INTERFACE_TYPE InterfaceType, ULONG BusNumber,
                                     PHYSICAL_ADDRESS BusAddress, PULONG AddressSpace,
                                     PPHYSICAL_ADDRESS TranslatedAddress) {
    Pc& pc = Pc::Current();
    uint64_t translated = 0;
    uint32_t space = *AddressSpace;
    bool ok;
    if (pc.bus_translator()) {
        ok = pc.bus_translator()(InterfaceType, BusNumber,
                                 static_cast<uint64_t>(BusAddress.QuadPart), &space, &translated);
    } else {
        // ISA I/O space appears one to one in the processor's I/O space.
        ok = InterfaceType == Isa && BusNumber == 0 && space == 1;
        translated = ok ? static_cast<uint64_t>(BusAddress.QuadPart) : 0;
    }
    *AddressSpace = space;
    TranslatedAddress->QuadPart = static_cast<LONGLONG>(translated);
    return ok ? TRUE : FALSE;
}

}  // extern "C"
