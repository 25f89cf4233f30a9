// The acquisition device: a peripheral on a parallel port's EPP bus.
//
// The EPP address byte selects a device register: bits 3..0 are the
// register index; bits 7..4 are a qualifier that the device keeps with the
// selection (AddressByte()) but that does not change which register is
// reached.  The selection holds until the next address write; data writes
// go to the selected register and data reads come from it.  An EPP
// address read returns the last address byte.  At power-up register 0 is
// selected.
//
// Register map:
//
//   index  name          data writes                  data reads
//   0x0-3  general       stored                       the stored byte
//   0x4    capture       stored; bit 7 = trigger      the stored byte
//          control       armed (power-up 0x80)
//   0x5-C  general       stored                       the stored byte
//   0xD    samples       stored                       the sample source
//   0xE    EEPROM lines  CS bit 2 (0x04), SK bit 5    DO on bit 1 (0x02),
//                        (0x20), DI bit 0 (0x01)      other bits 0
//   0xF    serial input  clock bit 5 (0x20), data     the stored byte
//                        bit 4 (0x10), sampled at
//                        each rising clock edge
//
// Trigger framing: while register 4 has bit 7 set, the sample source
// gives three-byte frames (two channel bytes and a trigger byte).  Once
// register 4 holds bit 7 clear, selecting register 0xD (the step a capture
// makes after its trigger: select 4, read it, write it back with bit 7
// cleared, select 0xD) switches the source to two-byte frames.  Writing
// register 4 with bit 7 set arms the trigger again: three-byte frames from
// the next frame on.
//
// The device keeps, per register, the last byte written and counts of data
// writes and reads.  It has no knowledge of who drives the port.
#pragma once

#include <array>
#include <cstdint>

#include "bit_serial_input.h"
#include "epp_peripheral.h"
#include "microwire_eeprom.h"
#include "sample_source.h"

namespace simpc {

class AcquisitionDevice : public EppPeripheral {
  public:
    static constexpr int kRegisters = 16;
    static constexpr uint8_t kIndexMask = 0x0F;

    static constexpr int kRegisterCapture = 0x4;
    static constexpr int kRegisterSamples = 0xD;
    static constexpr int kRegisterEeprom = 0xE;
    static constexpr int kRegisterSerialInput = 0xF;

    static constexpr uint8_t kCaptureArmed = 0x80;
    static constexpr uint8_t kEepromDi = 0x01;
    static constexpr uint8_t kEepromDo = 0x02;
    static constexpr uint8_t kEepromCs = 0x04;
    static constexpr uint8_t kEepromSk = 0x20;
    static constexpr uint8_t kSerialData = 0x10;
    static constexpr uint8_t kSerialClock = 0x20;

    struct Register {
        uint8_t value = 0;  // last byte written
        uint64_t writes = 0;
        uint64_t reads = 0;
    };

    AcquisitionDevice();

    // --- EppPeripheral ---
    void WriteAddress(uint8_t address) override;
    void WriteData(uint8_t value) override;
    uint8_t ReadData() override;
    uint8_t ReadAddress() override { return address_byte_; }

    // --- what a test or the demo sets up and observes ---
    uint8_t AddressByte() const { return address_byte_; }
    int SelectedIndex() const { return address_byte_ & kIndexMask; }
    const Register& RegisterAt(int index) const { return registers_[index & kIndexMask]; }
    MicrowireEeprom& eeprom() { return eeprom_; }
    BitSerialInput& serial_input() { return serial_input_; }
    SampleSource& samples() { return samples_; }

  private:
    uint8_t address_byte_ = 0;
    std::array<Register, kRegisters> registers_{};
    MicrowireEeprom eeprom_;
    BitSerialInput serial_input_;
    SampleSource samples_;
};

}  // namespace simpc
