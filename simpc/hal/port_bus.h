// The PC's I/O port bus as the HAL's port routines reach it.
//
// Every access (address, width, direction, value, virtual time) and every
// processor stall is recorded in one ordered trace.  An access goes to the
// device that claims its address; an address nobody claims reads as all
// ones, as a floating ISA bus does, and swallows writes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scheduler.h"

namespace simpc {

// Something that sits on the bus and answers accesses in its address range.
class PortDevice {
  public:
    virtual ~PortDevice() = default;
    // width is 1, 2 or 4 bytes; `address` is the first byte's address.
    virtual uint32_t Read(uint32_t address, int width) = 0;
    virtual void Write(uint32_t address, int width, uint32_t value) = 0;
    // Virtual time one access of this device takes.
    virtual Nanoseconds AccessTime(uint32_t address) const {
        (void)address;
        return 0;
    }
};

struct BusEvent {
    enum Kind { kRead, kWrite, kStall } kind = kRead;
    uint32_t address = 0;  // port address; 0 for a stall
    int width = 0;         // bytes; 0 for a stall
    uint32_t value = 0;    // value read or written; microseconds for a stall
    Nanoseconds time = 0;  // virtual time at which it began

    bool operator==(const BusEvent& other) const {
        return kind == other.kind && address == other.address && width == other.width &&
               value == other.value;
    }
};

// "W1 37A 0E", "R1 37B FF", "STALL 10": the compact form tests compare.
std::string ToString(const BusEvent& event);
std::vector<std::string> ToStrings(const std::vector<BusEvent>& events);

class PortBus {
  public:
    explicit PortBus(Scheduler& scheduler) : scheduler_(scheduler) {}

    // The device claims [first, first + count).  Later attachments win
    // where ranges overlap.
    void Attach(uint32_t first, uint32_t count, std::shared_ptr<PortDevice> device);
    void DetachAll() { ranges_.clear(); }

    uint32_t Read(uint32_t address, int width);
    void Write(uint32_t address, int width, uint32_t value);
    void Stall(uint32_t microseconds);

    const std::vector<BusEvent>& Trace() const { return trace_; }
    void ClearTrace() { trace_.clear(); }
    // Tracing off keeps the trace from growing in long runs (benchmarks).
    void SetTracing(bool on) { tracing_ = on; }

    // The cheapest bus there is, for benchmarks: while a sink is set, every
    // read and write goes to it alone, whatever the address, and nothing
    // else happens (no trace, no address lookup, no virtual time, no
    // observers, no unclaimed hook).  Stalls are unchanged.  nullptr
    // restores the bus.  The caller keeps the sink alive while it is set.
    void SetSink(PortDevice* sink) { sink_ = sink; }

    // Called for every access to an address no device claims.
    void SetUnclaimedAccessHook(std::function<void(const BusEvent&)> hook) {
        unclaimed_hook_ = std::move(hook);
    }

    // Watches [first, first + count): `observer` sees every read and write
    // that touches a byte there (any width), after the access, whether a
    // device claims the address or not.  Observers must not add or remove
    // observers from inside the call.  Returns an id for RemoveObserver.
    int AddObserver(uint32_t first, uint32_t count, std::function<void(const BusEvent&)> observer);
    void RemoveObserver(int id);

  private:
    struct Range {
        uint32_t first;
        uint32_t count;
        std::shared_ptr<PortDevice> device;
    };
    struct Observer {
        int id;
        uint32_t first;
        uint32_t count;
        std::function<void(const BusEvent&)> call;
    };
    PortDevice* Find(uint32_t address) const;
    void Record(const BusEvent& event);
    void Notify(const BusEvent& event) const;

    Scheduler& scheduler_;
    std::vector<Range> ranges_;
    std::vector<BusEvent> trace_;
    bool tracing_ = true;
    PortDevice* sink_ = nullptr;
    std::function<void(const BusEvent&)> unclaimed_hook_;
    std::vector<Observer> observers_;
    int next_observer_id_ = 1;
};

}  // namespace simpc
