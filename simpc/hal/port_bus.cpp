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

int PortBus::AddObserver(uint32_t first, uint32_t count,
                         std::function<void(const BusEvent&)> observer) {
    const int id = next_observer_id_++;
    observers_.push_back(Observer{id, first, count, std::move(observer)});
    return id;
}

void PortBus::RemoveObserver(int id) {
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if (it->id == id) {
            observers_.erase(it);
            return;
        }
    }
}

void PortBus::Notify(const BusEvent& event) const {
    const uint64_t first_byte = event.address;
    const uint64_t end = first_byte + static_cast<uint64_t>(event.width);
    for (const Observer& observer : observers_) {
        if (first_byte < uint64_t{observer.first} + observer.count && end > observer.first) {
            observer.call(event);
        }
    }
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
    if (sink_ != nullptr) {
        return sink_->Read(address, width);
    }
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
    Notify(event);
    return event.value;
}

void PortBus::Write(uint32_t address, int width, uint32_t value) {
    if (sink_ != nullptr) {
        sink_->Write(address, width, value);
        return;
    }
    BusEvent event{BusEvent::kWrite, address, width, value, scheduler_.Now()};
    Record(event);
    PortDevice* device = Find(address);
    if (device != nullptr) {
        device->Write(address, width, value);
        scheduler_.Spend(device->AccessTime(address));
    } else if (unclaimed_hook_) {
        unclaimed_hook_(event);
    }
    Notify(event);
}

void PortBus::Stall(uint32_t microseconds) {
    Record(BusEvent{BusEvent::kStall, 0, 0, microseconds, scheduler_.Now()});
    scheduler_.Spend(static_cast<Nanoseconds>(microseconds) * 1000);
}

}  // namespace simpc
