#include "parallel_port_hardware.h"

#include <utility>

namespace simpc {

namespace {

constexpr uint8_t kControlImplemented = 0x3F;  // bits 7..6 do not exist
constexpr uint8_t kControlAbsentBits = 0xC0;   // ...and read as 1
constexpr uint8_t kControlDirection = 0x20;
constexpr uint8_t kEcrWritable = 0xFC;  // bits 1..0 report the FIFO
constexpr uint8_t kEcrFifoEmpty = 0x01;
constexpr uint8_t kEcrModeStandard = 0x00;
constexpr uint8_t kEcrModeFifo = 0x40;
constexpr uint8_t kEcrModeConfiguration = 0xE0;
constexpr uint32_t kEppDataLast = 7;

}  // namespace

ParallelPortHardware::ParallelPortHardware(const Config& config, const Scheduler* clock)
    : config_(config), clock_(clock), control_(config.initial_control & kControlImplemented),
      ecr_(config.initial_ecr & kEcrWritable) {
    RecordLines();
}

std::shared_ptr<ParallelPortHardware>
ParallelPortHardware::AttachTo(PortBus& bus, const Config& config, const Scheduler* clock) {
    auto port = std::make_shared<ParallelPortHardware>(config, clock);
    bus.Attach(config.base, kEppDataLast + 1, port);
    if (config.ecp) {
        bus.Attach(config.base + kCnfgA, kEcr - kCnfgA + 1, port);
    }
    return port;
}

void ParallelPortHardware::Connect(std::shared_ptr<EppPeripheral> peripheral) {
    peripheral_ = std::move(peripheral);
}

void ParallelPortHardware::SetDataInputs(uint8_t levels) {
    data_inputs_ = levels;
    RecordLines();
}

bool ParallelPortHardware::DataReversed() const {
    if ((control_ & kControlDirection) == 0) {
        return false;
    }
    // The standard and FIFO modes only drive the lines; the others can
    // turn them around.
    return !config_.ecp || (EcrMode() != kEcrModeStandard && EcrMode() != kEcrModeFifo);
}

ParallelPortHardware::Lines ParallelPortHardware::CurrentLines() const {
    Lines lines;
    lines.data_driven = !DataReversed();
    lines.data = lines.data_driven ? data_latch_ : data_inputs_;
    lines.n_strobe = (control_ & 0x01) == 0;
    lines.n_auto_fd = (control_ & 0x02) == 0;
    lines.n_init = (control_ & 0x04) != 0;
    lines.n_select_in = (control_ & 0x08) == 0;
    lines.time = clock_ != nullptr ? clock_->Now() : 0;
    return lines;
}

void ParallelPortHardware::RecordLines() {
    const Lines now = CurrentLines();
    if (line_history_.empty() || !line_history_.back().SameLevels(now)) {
        line_history_.push_back(now);
    }
}

uint8_t ParallelPortHardware::StatusRegister() const {
    uint8_t value = 0x06;                       // no interrupt latched, unused bit
    value |= status_lines_.busy ? 0x00 : 0x80;  // the Busy line is inverted
    value |= status_lines_.n_ack ? 0x40 : 0x00;
    value |= status_lines_.paper_end ? 0x20 : 0x00;
    value |= status_lines_.select ? 0x10 : 0x00;
    value |= status_lines_.n_error ? 0x08 : 0x00;
    value |= timeout_ ? kStatusTimeout : 0x00;
    return value;
}

Nanoseconds ParallelPortHardware::ByteCost(uint32_t offset) const {
    if (offset >= kEppAddress && offset <= kEppDataLast && EppCyclesEnabled()) {
        return peripheral_ ? config_.epp_cycle_time : config_.epp_timeout_time;
    }
    return config_.register_access_time;
}

uint8_t ParallelPortHardware::EppRead(bool address_cycle) {
    if (!EppCyclesEnabled()) {
        return kFloatingByte;
    }
    ++epp_cycles_;
    if (!peripheral_) {
        timeout_ = true;
        return kFloatingByte;
    }
    return address_cycle ? peripheral_->ReadAddress() : peripheral_->ReadData();
}

void ParallelPortHardware::EppWrite(bool address_cycle, uint8_t value) {
    if (!EppCyclesEnabled()) {
        return;
    }
    ++epp_cycles_;
    if (!peripheral_) {
        timeout_ = true;
        return;
    }
    if (address_cycle) {
        peripheral_->WriteAddress(value);
    } else {
        peripheral_->WriteData(value);
    }
}

uint8_t ParallelPortHardware::ReadByte(uint32_t offset) {
    switch (offset) {
        case kData:
            return DataReversed() ? data_inputs_ : data_latch_;
        case kStatus:
            return StatusRegister();
        case kControl:
            return static_cast<uint8_t>(control_ | kControlAbsentBits);
        case kEppAddress:
            return EppRead(true);
        case kEppData:
        case kEppData + 1:
        case kEppData + 2:
        case kEppDataLast:
            return EppRead(false);
        case kCnfgA:
        case kCnfgB:
            if (config_.ecp && EcrMode() == kEcrModeConfiguration) {
                return offset == kCnfgA ? config_.cnfg_a : config_.cnfg_b;
            }
            return kFloatingByte;
        case kEcr:
            return config_.ecp ? static_cast<uint8_t>(ecr_ | kEcrFifoEmpty) : kFloatingByte;
        default:
            return kFloatingByte;
    }
}

void ParallelPortHardware::WriteByte(uint32_t offset, uint8_t value) {
    switch (offset) {
        case kData:
            data_latch_ = value;
            RecordLines();
            break;
        case kStatus:
            if ((value & kStatusTimeout) != 0) {
                timeout_ = false;
            }
            break;
        case kControl:
            control_ = value & kControlImplemented;
            RecordLines();
            break;
        case kEppAddress:
            EppWrite(true, value);
            break;
        case kEppData:
        case kEppData + 1:
        case kEppData + 2:
        case kEppDataLast:
            EppWrite(false, value);
            break;
        case kEcr:
            if (config_.ecp) {
                ecr_ = value & kEcrWritable;
                RecordLines();  // the mode decides whether the direction bit acts
            }
            break;
        default:
            break;  // cnfgA and cnfgB are read-only; other bytes are not the port's
    }
}

uint32_t ParallelPortHardware::Read(uint32_t address, int width) {
    const uint32_t offset = address - config_.base;
    Nanoseconds cost = 0;
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) {
        cost += ByteCost(offset + i);
        value |= static_cast<uint32_t>(ReadByte(offset + i)) << (8 * i);
    }
    last_address_ = address;
    last_cost_ = cost;
    return value;
}

void ParallelPortHardware::Write(uint32_t address, int width, uint32_t value) {
    const uint32_t offset = address - config_.base;
    Nanoseconds cost = 0;
    for (int i = 0; i < width; ++i) {
        cost += ByteCost(offset + i);
        WriteByte(offset + i, static_cast<uint8_t>(value >> (8 * i)));
    }
    last_address_ = address;
    last_cost_ = cost;
}

Nanoseconds ParallelPortHardware::AccessTime(uint32_t address) const {
    if (address == last_address_) {
        return last_cost_;
    }
    return ByteCost(address - config_.base);
}

}  // namespace simpc
