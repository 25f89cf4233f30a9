// The port-range oracle: every bus access of any width must lie wholly
// inside the registers of the port that the machine configures for the
// driver - its data, status, control, EPP address and EPP data registers
// (base to base + 4) and its ECR (base + 0x402).  Any other address, and
// an access that starts inside and reaches past them, is a crash.
//
// It also counts the accesses.  With the virtual clock, which every stall
// moves, that is all the refused-request oracle needs to know of the bus:
// the bus keeps no trace in the fuzzer.
#pragma once

#include <cstdint>
#include <vector>

#include "port_bus.h"

namespace vexlor_fuzz {

class PortWatch {
  public:
    // The port registers at `base` (a translated I/O address) are allowed.
    void AllowPort(uint32_t base);
    bool Allowed(uint32_t address, int width) const;
    const std::vector<uint32_t>& Bases() const { return bases_; }

    // Watches every access on `bus` from now on.
    void Watch(simpc::PortBus& bus);

    uint64_t Accesses() const { return accesses_; }

  private:
    void Check(const simpc::BusEvent& event);

    std::vector<uint32_t> bases_;
    uint64_t accesses_ = 0;
    uint32_t last_allowed_address_ = 0;
    int last_allowed_width_ = 0;  // 0: none yet
};

}  // namespace vexlor_fuzz
