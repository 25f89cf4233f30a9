// A clocked serial input: a data line and a clock line, sampled at each
// rising clock edge, assembled into bytes most significant bit first.
//
// The clock line idles high (it has a pull-up), so the first level written
// counts as a rising edge only if the clock was last seen low.
#pragma once

#include <cstdint>
#include <vector>

namespace simpc {

class BitSerialInput {
  public:
    // New levels on the two lines.
    void Drive(bool clock, bool data);

    // Complete bytes, in the order they came in.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Every bit taken, those of an incomplete last byte included.
    uint64_t BitsReceived() const { return bits_; }
    // The bits of an incomplete last byte, right-aligned, and how many.
    uint8_t PendingBits() const { return shift_; }
    int PendingBitCount() const { return static_cast<int>(bits_ % 8); }
    void Clear();

  private:
    bool clock_ = true;
    uint8_t shift_ = 0;
    uint64_t bits_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace simpc
