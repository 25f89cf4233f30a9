#include "microwire_eeprom.h"

namespace simpc {

namespace {

constexpr uint32_t kOpcodeRead = 0x2;  // 10
constexpr int kOpcodeBits = 2;
constexpr int kAddressBits = 6;
constexpr int kWordBits = 16;

}  // namespace

void MicrowireEeprom::Drive(bool cs, bool sk, bool di) {
    const bool rising = sk && !sk_;
    sk_ = sk;
    if (!cs) {
        state_ = kWaitingForStart;
        return;
    }
    if (rising) {
        ClockIn(di);
    }
}

void MicrowireEeprom::ClockIn(bool di) {
    switch (state_) {
        case kWaitingForStart:
            if (di) {
                state_ = kOpcode;
                bits_ = 0;
                shift_ = 0;
            }
            break;
        case kOpcode:
            shift_ = (shift_ << 1) | (di ? 1u : 0u);
            if (++bits_ == kOpcodeBits) {
                state_ = shift_ == kOpcodeRead ? kAddress : kIgnoring;
                bits_ = 0;
                shift_ = 0;
            }
            break;
        case kAddress:
            shift_ = (shift_ << 1) | (di ? 1u : 0u);
            if (++bits_ == kAddressBits) {
                state_ = kReading;
                address_ = static_cast<int>(shift_);
                bits_left_ = kWordBits;
                data_out_ = false;  // the dummy bit
            }
            break;
        case kReading:
            if (bits_left_ == 0) {
                address_ = (address_ + 1) & (kWords - 1);
                bits_left_ = kWordBits;
            }
            --bits_left_;
            data_out_ = ((words_[address_] >> bits_left_) & 1) != 0;
            break;
        case kIgnoring:
            break;
    }
}

}  // namespace simpc
