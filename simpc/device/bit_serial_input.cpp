#include "bit_serial_input.h"

namespace simpc {

void BitSerialInput::Drive(bool clock, bool data) {
    const bool rising = clock && !clock_;
    clock_ = clock;
    if (!rising) {
        return;
    }
    shift_ = static_cast<uint8_t>((shift_ << 1) | (data ? 1 : 0));
    if (++bits_ % 8 == 0) {
        bytes_.push_back(shift_);
        shift_ = 0;
    }
}

void BitSerialInput::Clear() {
    shift_ = 0;
    bits_ = 0;
    bytes_.clear();
}

}  // namespace simpc
