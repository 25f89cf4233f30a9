// A peripheral on the EPP side of a parallel port.
//
// An EPP port turns each access to its EPP address register into an
// address cycle and each access to its EPP data register into a data
// cycle, one byte per cycle; the peripheral answers every cycle with the
// nWait handshake.  This interface is the peripheral's end of those
// cycles, so any device can sit on the bus.
#pragma once

#include <cstdint>

namespace simpc {

class EppPeripheral {
  public:
    virtual ~EppPeripheral() = default;

    // An address write cycle: the byte that the host put on the data lines
    // with nAddrStrobe.
    virtual void WriteAddress(uint8_t address) = 0;
    // A data write cycle (nDataStrobe, nWrite low).
    virtual void WriteData(uint8_t value) = 0;
    // A data read cycle: the byte that the peripheral puts on the lines.
    virtual uint8_t ReadData() = 0;
    // An address read cycle.  A peripheral that has nothing to say there
    // leaves the lines to their pull-ups.
    virtual uint8_t ReadAddress() { return 0xFF; }
};

}  // namespace simpc
