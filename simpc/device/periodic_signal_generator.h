// Two 8-bit channels of a periodic signal, for the demo's acquisitions:
// channel 1 (first byte) a full-scale sine, channel 2 (second byte) a
// full-scale triangle of the same period, both starting at sample 0 of
// the period.  The trigger byte is 0x01 on the sample where channel 1
// crosses the trigger level upwards (the previous sample below the level,
// this one at or above it) and 0x00 on every other sample.
#pragma once

#include <cstdint>

#include "sample_source.h"

namespace simpc {

class PeriodicSignalGenerator : public SampleGenerator {
  public:
    struct Config {
        uint32_t period = 250;  // samples per period, at least 2
        uint8_t trigger_level = 0x80;
    };

    explicit PeriodicSignalGenerator(const Config& config);

    // The sample with the given number, without advancing.
    Sample At(uint64_t index) const;
    Sample Next() override { return At(index_++); }

  private:
    uint8_t Sine(uint64_t index) const;
    uint8_t Triangle(uint64_t index) const;

    Config config_;
    uint64_t index_ = 0;
};

}  // namespace simpc
