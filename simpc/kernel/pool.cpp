#include "pool.h"

#include <cstdlib>

#include "faults.h"
#include "verifier.h"

namespace simpc {

Pool::~Pool() {
    for (auto& entry : live_) {
        std::free(entry.first);
    }
}

void* Pool::Allocate(int pool_type, size_t size, uint32_t tag) {
    if (faults_.ShouldFail(FaultPoint::PoolAllocation)) {
        return nullptr;
    }
    // A zero-byte request still yields a distinct block.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        return nullptr;
    }
    history_.push_back(PoolAllocation{pool_type, size, tag, false});
    live_[block] = history_.size() - 1;
    return block;
}

void Pool::Free(void* block) {
    auto it = live_.find(block);
    if (it == live_.end()) {
        verifier_.Report("ExFreePool of a block that is not allocated from pool (freed twice?)");
        return;
    }
    history_[it->second].freed = true;
    live_.erase(it);
    std::free(block);
}

void Pool::ReportLeaks(const std::string& when) {
    for (auto& entry : live_) {
        const PoolAllocation& allocation = history_[entry.second];
        verifier_.Report("pool block of " + std::to_string(allocation.size) + " bytes, tag '" +
                         TagText(allocation.tag) + "', still allocated " + when);
        history_[entry.second].freed = true;
        std::free(entry.first);
    }
    live_.clear();
}

std::string Pool::TagText(uint32_t tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text.push_back(c >= 0x20 && c < 0x7F ? c : '.');
    }
    return text;
}

}  // namespace simpc
