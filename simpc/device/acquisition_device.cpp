#include "acquisition_device.h"

namespace simpc {

AcquisitionDevice::AcquisitionDevice() {
    registers_[kRegisterCapture].value = kCaptureArmed;
}

void AcquisitionDevice::WriteAddress(uint8_t address) {
    address_byte_ = address;
    const bool armed = (registers_[kRegisterCapture].value & kCaptureArmed) != 0;
    if (SelectedIndex() == kRegisterSamples && !armed) {
        samples_.SetTriggerBytes(false);
    }
}

void AcquisitionDevice::WriteData(uint8_t value) {
    const int index = SelectedIndex();
    Register& reg = registers_[index];
    reg.value = value;
    ++reg.writes;
    switch (index) {
        case kRegisterCapture:
            if ((value & kCaptureArmed) != 0) {
                samples_.SetTriggerBytes(true);
            }
            break;
        case kRegisterEeprom:
            eeprom_.Drive((value & kEepromCs) != 0, (value & kEepromSk) != 0,
                          (value & kEepromDi) != 0);
            break;
        case kRegisterSerialInput:
            serial_input_.Drive((value & kSerialClock) != 0, (value & kSerialData) != 0);
            break;
        default:
            break;
    }
}

uint8_t AcquisitionDevice::ReadData() {
    const int index = SelectedIndex();
    Register& reg = registers_[index];
    ++reg.reads;
    switch (index) {
        case kRegisterSamples:
            return samples_.Read();
        case kRegisterEeprom:
            return eeprom_.DataOut() ? kEepromDo : 0x00;
        default:
            return reg.value;
    }
}

}  // namespace simpc
