// A bus device that a test scripts: each read of an address returns the
// next value queued for it (then the last one again, or `idle` if none was
// ever queued); writes are kept as the register's value and read back when
// nothing is queued.
#pragma once

#include <cstdint>
#include <deque>
#include <map>

#include "port_bus.h"

namespace simpc {

class ScriptedPort : public PortDevice {
  public:
    explicit ScriptedPort(uint32_t idle = 0xFF) : idle_(idle) {}

    void Queue(uint32_t address, uint32_t value) { queued_[address].push_back(value); }
    template <typename Values>
    void QueueAll(uint32_t address, const Values& values) {
        for (auto value : values) {
            Queue(address, value);
        }
    }
    // The value every read returns once the queue of that address is empty.
    void Hold(uint32_t address, uint32_t value) { held_[address] = value; }

    uint32_t Read(uint32_t address, int width) override {
        (void)width;
        auto queue = queued_.find(address);
        if (queue != queued_.end() && !queue->second.empty()) {
            const uint32_t value = queue->second.front();
            queue->second.pop_front();
            held_[address] = value;
            return value;
        }
        auto held = held_.find(address);
        return held != held_.end() ? held->second : idle_;
    }

    void Write(uint32_t address, int width, uint32_t value) override {
        (void)width;
        held_[address] = value;
    }

  private:
    uint32_t idle_;
    std::map<uint32_t, std::deque<uint32_t>> queued_;
    std::map<uint32_t, uint32_t> held_;
};

}  // namespace simpc
