// The executive pool.  Every allocation is a separate block of exactly the
// size asked for, so that AddressSanitizer sees any access beyond it, and
// every allocation is recorded with its pool type, size and tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace simpc {

class Verifier;
class Faults;

struct PoolAllocation {
    int pool_type = 0;
    size_t size = 0;
    uint32_t tag = 0;
    bool freed = false;
};

class Pool {
  public:
    Pool(Verifier& verifier, Faults& faults) : verifier_(verifier), faults_(faults) {}
    ~Pool();

    void* Allocate(int pool_type, size_t size, uint32_t tag);
    void Free(void* block);

    // Every allocation made so far, in order, freed ones included.
    const std::vector<PoolAllocation>& History() const { return history_; }
    size_t OutstandingCount() const { return live_.size(); }
    // Reports every block still allocated as a leak and frees it.
    void ReportLeaks(const std::string& when);

    static std::string TagText(uint32_t tag);

  private:
    Verifier& verifier_;
    Faults& faults_;
    std::map<void*, size_t> live_;  // block -> index in history_
    std::vector<PoolAllocation> history_;
};

}  // namespace simpc
