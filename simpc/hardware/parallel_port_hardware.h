// A PC parallel port (standard, PS/2, EPP and, when configured, ECP) as a
// device on the I/O port bus.
//
// Register map, at any base a test gives (0x378, 0x278, 0x3BC, or where a
// PCI card's BAR puts it):
//
//   base+0      data        write: the output latch; read: the data lines
//                           (the latch, or the peripheral's levels while
//                           the port has turned the lines around)
//   base+1      status      read: bit 7 = NOT Busy, 6 nAck, 5 PE,
//                           4 Select, 3 nError, 2..1 read 1 (no interrupt
//                           latched, unused), 0 EPP time-out.  Writing a 1
//                           to bit 0 clears the time-out; nothing else is
//                           writable.
//   base+2      control     bits 0..3 drive nStrobe, nAutoFd, nInit and
//                           nSelectIn (bits 0, 1 and 3 inverted on the
//                           connector), bit 4 enables the interrupt, bit 5
//                           turns the data lines around (input).  Bits 7..6
//                           do not exist and read as 1.
//   base+3      EPP address one EPP address cycle per byte accessed
//   base+4..+7  EPP data    one EPP data cycle per byte accessed
//   ECP port only:
//   base+0x400  cnfgA       read in configuration mode (ECR mode 111)
//   base+0x401  cnfgB       read in configuration mode
//   base+0x402  ECR         bits 7..5 mode (000 standard, 001 PS/2,
//                           010 FIFO, 011 ECP, 100 EPP, 110 test,
//                           111 configuration), bits 4..2 as written,
//                           bit 1 FIFO full (reads 0), bit 0 FIFO empty
//                           (reads 1); the FIFO itself is not modelled.
//
// EPP cycles.  A port without an ECR always does EPP cycles.  An ECP port
// does them only while the ECR mode is 100; in every other mode an access
// to base+3..+7 makes no cycle: a read returns 0xFF (`kFloatingByte`, the
// undriven lines) and a write is dropped.  A cycle with no peripheral
// connected gets no nWait answer: it times out, which sets the status
// time-out bit, takes `epp_timeout_time`, and reads 0xFF.  The direction
// bit does not affect EPP cycles, whose handshake sets the direction of
// each cycle.
//
// Widths.  A 16- or 32-bit access is carried out as successive byte
// accesses in address order, byte i of the value at base+offset+i (as an
// 8-bit port behind the ISA bus's cycle splitting does).  A 32-bit read at
// base+1 thus reads status, control, EPP address and EPP data, status in
// the lowest byte, making two EPP cycles.  Bytes that fall past the port's
// registers read 0xFF and are dropped on writes.
//
// Time.  Each EPP cycle costs `epp_cycle_time` of virtual time (1 us by
// default), every other byte access `register_access_time` (0 by
// default).  The bus asks AccessTime() right after each access; it returns
// the sum over the bytes of the access just made.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "epp_peripheral.h"
#include "port_bus.h"
#include "scheduler.h"

namespace simpc {

class ParallelPortHardware : public PortDevice {
  public:
    struct Config {
        uint32_t base = 0x378;
        bool ecp = true;
        // ECR after power-up: PS/2 mode, error and service interrupts off.
        uint8_t initial_ecr = 0x35;
        // Control after power-up: nInit high, nSelectIn low.
        uint8_t initial_control = 0x0C;
        Nanoseconds epp_cycle_time = 1000;
        Nanoseconds epp_timeout_time = 10000;
        Nanoseconds register_access_time = 0;
        uint8_t cnfg_a = 0x10;  // 8-bit implementation
        uint8_t cnfg_b = 0x00;  // no IRQ or DMA channel reported
    };

    // Register offsets from the base.
    static constexpr uint32_t kData = 0;
    static constexpr uint32_t kStatus = 1;
    static constexpr uint32_t kControl = 2;
    static constexpr uint32_t kEppAddress = 3;
    static constexpr uint32_t kEppData = 4;
    static constexpr uint32_t kCnfgA = 0x400;
    static constexpr uint32_t kCnfgB = 0x401;
    static constexpr uint32_t kEcr = 0x402;

    static constexpr uint8_t kEcrModeMask = 0xE0;
    static constexpr uint8_t kEcrModeEpp = 0x80;
    static constexpr uint8_t kStatusTimeout = 0x01;
    static constexpr uint8_t kFloatingByte = 0xFF;

    // Levels on the status input pins.  All high is an open connector.
    struct StatusLines {
        bool n_ack = true;
        bool busy = true;
        bool paper_end = true;
        bool select = true;
        bool n_error = true;
    };

    // Levels on the connector's output side (true = high).
    struct Lines {
        uint8_t data = 0;
        bool data_driven = true;  // false while the data lines are input
        bool n_strobe = true;
        bool n_auto_fd = true;
        bool n_init = true;
        bool n_select_in = true;
        Nanoseconds time = 0;  // when the lines took these levels

        bool SameLevels(const Lines& other) const {
            return data == other.data && data_driven == other.data_driven &&
                   n_strobe == other.n_strobe && n_auto_fd == other.n_auto_fd &&
                   n_init == other.n_init && n_select_in == other.n_select_in;
        }
    };

    // `clock`, when given, stamps the line history.
    explicit ParallelPortHardware(const Config& config, const Scheduler* clock = nullptr);

    // Makes a port and claims its addresses on `bus`: base to base+7, and
    // for an ECP port base+0x400 to base+0x402.  A port without an ECR
    // leaves base+0x402 unclaimed, so it reads as the floating bus.
    static std::shared_ptr<ParallelPortHardware> AttachTo(PortBus& bus, const Config& config,
                                                          const Scheduler* clock = nullptr);

    // --- what is plugged into the connector ---
    // The peripheral that answers EPP cycles; null unplugs it.
    void Connect(std::shared_ptr<EppPeripheral> peripheral);
    void SetStatusLines(const StatusLines& lines) { status_lines_ = lines; }
    // Levels the peripheral drives on the data lines when they are input.
    void SetDataInputs(uint8_t levels);

    // --- what a test observes ---
    const Config& config() const { return config_; }
    uint8_t ControlRegister() const { return control_; }
    uint8_t DataLatch() const { return data_latch_; }
    uint8_t EcrMode() const { return ecr_ & kEcrModeMask; }
    bool EppCyclesEnabled() const { return !config_.ecp || EcrMode() == kEcrModeEpp; }
    bool EppTimeout() const { return timeout_; }
    // EPP cycles made so far, address and data, timed-out ones included.
    uint64_t EppCycles() const { return epp_cycles_; }
    Lines CurrentLines() const;
    // Every change of the output lines, the power-up levels first.
    const std::vector<Lines>& LineHistory() const { return line_history_; }

    // --- PortDevice ---
    uint32_t Read(uint32_t address, int width) override;
    void Write(uint32_t address, int width, uint32_t value) override;
    Nanoseconds AccessTime(uint32_t address) const override;

  private:
    bool DataReversed() const;
    uint8_t StatusRegister() const;
    Nanoseconds ByteCost(uint32_t offset) const;
    uint8_t ReadByte(uint32_t offset);
    void WriteByte(uint32_t offset, uint8_t value);
    uint8_t EppRead(bool address_cycle);
    void EppWrite(bool address_cycle, uint8_t value);
    void RecordLines();

    Config config_;
    const Scheduler* clock_;
    std::shared_ptr<EppPeripheral> peripheral_;
    StatusLines status_lines_;
    uint8_t data_latch_ = 0;
    uint8_t data_inputs_ = kFloatingByte;
    uint8_t control_;
    uint8_t ecr_;
    bool timeout_ = false;
    uint64_t epp_cycles_ = 0;
    std::vector<Lines> line_history_;
    // The access the bus is about to charge for.
    uint32_t last_address_ = 0;
    Nanoseconds last_cost_ = 0;
};

}  // namespace simpc
