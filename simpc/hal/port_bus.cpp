#include "port_bus.h"

#include <cstdio>

namespace simpc {

std::string ToString(const BusEvent& event) {
    char text[48];
    switch (event.kind) {
        case BusEvent::kStall:
            std::snprintf(text, sizeof(text), "STALL %u", event.value);
            break;
        case BusEvent::kRead:
        case BusEvent::kWrite:
            std::snprintf(text, sizeof(text), "%c%d %X %0*X", event.kind == BusEvent::kRead ? 'R' : 'W',
                          event.width, event.address, event.width * 2, event.value);
            break;
    }
    return text;
}

std::vector<std::string> ToStrings(const std::vector<BusEvent>& events) {
    std::vector<std::string> strings;
    strings.reserve(events.size());
    for (const BusEvent& event : events) {
        strings.push_back(ToString(event));
    }
    return strings;
}

void PortBus::Attach(uint32_t first, uint32_t count, std::shared_ptr<PortDevice> device) {
    ranges_.push_back(Range{first, count, std::move(device)});
}

PortDevice* PortBus::Find(uint32_t address) const {
    for (auto it = ranges_.rbegin(); it != ranges_.rend(); ++it) {
        if (address - it->first < it->count) {
            return it->device.get();
        }
    }
    return nullptr;
}

void PortBus::Record(const BusEvent& event) {
    if (tracing_) {
        trace_.push_back(event);
    }
}

uint32_t PortBus::Read(uint32_t address, int width) {
    BusEvent event{BusEvent::kRead, address, width, 0, scheduler_.Now()};
    PortDevice* device = Find(address);
    if (device != nullptr) {
        event.value = device->Read(address, width);
        scheduler_.Spend(device->AccessTime(address));
    } else {
        event.value = width == 4 ? 0xFFFFFFFFu : (width == 2 ? 0xFFFFu : 0xFFu);
        if (unclaimed_hook_) {
            unclaimed_hook_(event);
        }
    }
    Record(event);
    return event.value;
}

void PortBus::Write(uint32_t address, int width, uint32_t value) {
    BusEvent event{BusEvent::kWrite, address, width, value, scheduler_.Now()};
    Record(event);
    PortDevice* device = Find(address);
    if (device != nullptr) {
        device->Write(address, width, value);
        scheduler_.Spend(device->AccessTime(address));
    } else if (unclaimed_hook_) {
        unclaimed_hook_(event);
    }
}

void PortBus::Stall(uint32_t microseconds) {
    Record(BusEvent{BusEvent::kStall, 0, 0, microseconds, scheduler_.Now()});
    scheduler_.Spend(static_cast<Nanoseconds>(microseconds) * 1000);
}

}  // namespace simpc
