// A 64 x 16-bit three-wire serial EEPROM of the 93C46 kind (Microwire), in
// its x16 organisation.
//
// Lines: CS (chip select, active high), SK (clock), DI (data in), DO (data
// out).  With CS high, DI is taken at each rising SK edge.  Leading zeros
// are ignored; the first 1 is the start bit, then come a two-bit opcode
// and six address bits A5..A0.  For READ (opcode 10), DO drives the dummy
// 0 from the rising edge that took A0, then each further rising edge
// shifts out the next data bit, D15 first.  After D0, further clocks go on
// with the next word (sequential read, wrapping from 63 to 0).  Lowering
// CS ends any instruction and returns the part to waiting for a start bit.
//
// Only READ is carried out: the part powers up write-disabled, and the
// instructions that would enable writing are taken in and have no effect,
// so every other instruction is ignored until CS falls.  DO is not driven
// outside a READ; the board's pull-up then makes it read 1.
//
// An erased part holds 0xFFFF in every word.
#pragma once

#include <array>
#include <cstdint>

namespace simpc {

class MicrowireEeprom {
  public:
    static constexpr int kWords = 64;

    MicrowireEeprom() { words_.fill(0xFFFF); }

    uint16_t Word(int address) const { return words_[address & (kWords - 1)]; }
    void SetWord(int address, uint16_t value) { words_[address & (kWords - 1)] = value; }

    // New levels on CS, SK and DI.
    void Drive(bool cs, bool sk, bool di);
    // The DO line, with the pull-up where the part does not drive it.
    bool DataOut() const { return state_ != kReading || data_out_; }

  private:
    enum State { kWaitingForStart, kOpcode, kAddress, kReading, kIgnoring };
    void ClockIn(bool di);

    std::array<uint16_t, kWords> words_;
    State state_ = kWaitingForStart;
    bool sk_ = false;
    int bits_ = 0;        // opcode or address bits taken so far
    uint32_t shift_ = 0;  // those bits
    int address_ = 0;
    int bits_left_ = 0;  // data bits of the current word still to shift out
    bool data_out_ = true;
};

}  // namespace simpc
