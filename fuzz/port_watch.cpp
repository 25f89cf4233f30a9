#include "port_watch.h"

#include <algorithm>
#include <string>

#include "oracle.h"

namespace vexlor_fuzz {

namespace {

constexpr uint32_t kRegisterCount = 5;  // data, status, control, EPP address, EPP data
constexpr uint32_t kEcrOffset = 0x402;

}  // namespace

void PortWatch::AllowPort(uint32_t base) {
    if (std::find(bases_.begin(), bases_.end(), base) == bases_.end()) {
        bases_.push_back(base);
    }
}

bool PortWatch::Allowed(uint32_t address, int width) const {
    for (int i = 0; i < width; ++i) {
        const uint64_t byte = uint64_t{address} + static_cast<uint64_t>(i);
        bool inside = false;
        for (uint32_t base : bases_) {
            inside = inside || (byte >= base && byte < uint64_t{base} + kRegisterCount) ||
                     byte == uint64_t{base} + kEcrOffset;
        }
        if (!inside) {
            return false;
        }
    }
    return true;
}

void PortWatch::Watch(simpc::PortBus& bus) {
    // One observer over the whole I/O space sees every access, claimed or
    // not; the last address, which no observer range can reach, is left to
    // the hook for unclaimed accesses (the port's device claims only the
    // allowed registers, so every unclaimed access is outside them).
    bus.AddObserver(0, 0xFFFFFFFFu, [this](const simpc::BusEvent& event) { Check(event); });
    bus.SetUnclaimedAccessHook([this](const simpc::BusEvent& event) {
        if (event.address == 0xFFFFFFFFu) {
            Check(event);
        } else if (Allowed(event.address, event.width)) {
            Crash("the port's device does not claim " + Hex(event.address));
        }
    });
}

void PortWatch::Check(const simpc::BusEvent& event) {
    ++accesses_;
    // Transfers hit one register many times over: the last access that
    // passed needs no second look.
    if (event.address == last_allowed_address_ && event.width == last_allowed_width_) {
        return;
    }
    if (Allowed(event.address, event.width)) {
        last_allowed_address_ = event.address;
        last_allowed_width_ = event.width;
    } else {
        std::string allowed;
        for (uint32_t base : bases_) {
            allowed += " " + Hex(base) + "-" + Hex(base + kRegisterCount - 1) + "," +
                       Hex(base + kEcrOffset);
        }
        Crash(std::string(event.kind == simpc::BusEvent::kRead ? "read" : "write") + " of " +
              std::to_string(event.width) + " byte(s) at " + Hex(event.address) +
              ", outside the port's registers:" + allowed);
    }
}

}  // namespace vexlor_fuzz
