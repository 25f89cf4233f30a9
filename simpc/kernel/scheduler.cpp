#include "scheduler.h"

namespace simpc {

void Scheduler::At(Nanoseconds when, std::function<void()> action) {
    if (when < now_) {
        when = now_;
    }
    events_.emplace(std::make_pair(when, sequence_++), std::move(action));
}

bool Scheduler::RunNext() {
    if (events_.empty()) {
        return false;
    }
    auto first = events_.begin();
    now_ = first->first.first;
    std::function<void()> action = std::move(first->second);
    events_.erase(first);
    action();
    return true;
}

void Scheduler::RunUntil(Nanoseconds until) {
    while (!events_.empty() && events_.begin()->first.first <= until) {
        RunNext();
    }
    if (now_ < until) {
        now_ = until;
    }
}

void Scheduler::RunAll() {
    while (RunNext()) {
    }
}

}  // namespace simpc
