// One call that puts a parallel port with the acquisition device on its
// EPP bus into a simulated PC, for tests and the demo:
//
//   simpc::Pc pc;
//   simpc::AcquisitionBench bench = simpc::AttachAcquisitionDevice(pc, 0x378, true);
//   bench.device->eeprom().SetWord(0, 0x1234);
//   bench.device->samples().PlayFrames(...);
//   ... the driver runs ...
//   bench.device->serial_input().Bytes(), bench.port->EcrMode(), ...
//
// The port claims its addresses on pc.bus() (base..base+7, and
// base+0x400..base+0x402 when it is ECP-capable), stamps its line history
// with pc.clock(), and reads the status lines of a powered, idle device:
// Busy low, nAck high, PE low, Select high, nError high (status 0xDE).
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition_device.h"
#include "parallel_port_hardware.h"
#include "simpc/pc.h"

namespace simpc {

struct AcquisitionBench {
    std::shared_ptr<ParallelPortHardware> port;
    std::shared_ptr<AcquisitionDevice> device;
};

AcquisitionBench AttachAcquisitionDevice(Pc& pc, const ParallelPortHardware::Config& config);
AcquisitionBench AttachAcquisitionDevice(Pc& pc, uint32_t base = 0x378, bool ecp = true);

}  // namespace simpc
