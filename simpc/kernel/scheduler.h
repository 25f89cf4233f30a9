// Virtual time of the simulated PC and the events scheduled in it.
//
// Nothing in the simulated PC waits for real time.  The clock only moves
// when simulated code spends time (a processor stall, a port cycle) or
// when a wait lets scheduled events run; events run in time order, and
// events scheduled for the same instant run in the order they were added.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace simpc {

using Nanoseconds = uint64_t;

class Scheduler {
  public:
    Nanoseconds Now() const { return now_; }

    // Spends time without giving scheduled events a chance to run, as a
    // busy-waiting processor does.
    void Spend(Nanoseconds duration) { now_ += duration; }

    // Schedules an action at an absolute virtual time (not before now).
    void At(Nanoseconds when, std::function<void()> action);
    void After(Nanoseconds delay, std::function<void()> action) { At(now_ + delay, std::move(action)); }

    bool HasPending() const { return !events_.empty(); }
    Nanoseconds NextEventTime() const { return events_.begin()->first.first; }

    // Advances the clock to the next event and runs it; false when none.
    bool RunNext();
    // Runs every event due up to `until`, then sets the clock there.
    void RunUntil(Nanoseconds until);
    // Runs every pending event, however far in the future.
    void RunAll();

    void Clear() { events_.clear(); }

  private:
    Nanoseconds now_ = 0;
    uint64_t sequence_ = 0;
    std::map<std::pair<Nanoseconds, uint64_t>, std::function<void()>> events_;
};

}  // namespace simpc
