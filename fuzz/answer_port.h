// The hardware as the fuzzer plays it: every read of the port's registers
// returns the next bytes of an answer stream taken from the input (flag
// bytes, trigger bytes, EEPROM data out, ECR values alike), starting over
// at its end.  Writes are taken and forgotten.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "port_bus.h"

namespace vexlor_fuzz {

class AnswerPort : public simpc::PortDevice {
  public:
    void SetAnswers(std::vector<uint8_t> answers) {
        answers_ = std::move(answers);
        next_ = 0;
    }

    uint32_t Read(uint32_t address, int width) override {
        (void)address;
        uint32_t value = 0;
        for (int i = 0; i < width; ++i) {
            value |= static_cast<uint32_t>(Next()) << (8 * i);
        }
        return value;
    }

    void Write(uint32_t address, int width, uint32_t value) override {
        (void)address;
        (void)width;
        (void)value;
    }

  private:
    uint8_t Next() {
        if (answers_.empty()) {
            return 0xFF;
        }
        const uint8_t value = answers_[next_];
        if (++next_ == answers_.size()) {
            next_ = 0;
        }
        return value;
    }

    std::vector<uint8_t> answers_;
    size_t next_ = 0;
};

}  // namespace vexlor_fuzz
