// Fault injection: a test names a platform operation and which of its next
// calls fails, so that every failure path of a driver can be run.
#pragma once

#include <map>

namespace simpc {

enum class FaultPoint {
    PoolAllocation,              // ExAllocatePoolWithTag returns NULL
    IrpAllocation,               // IoAllocateIrp returns NULL
    BuildDeviceIoControlRequest, // IoBuildDeviceIoControlRequest returns NULL
    GetDeviceObjectPointer,      // IoGetDeviceObjectPointer fails
    LookupWithoutFileObject,     // IoGetDeviceObjectPointer succeeds but returns no file object
    MapLockedPages,              // MmMapLockedPages returns NULL
    CreateDevice,                // IoCreateDevice fails
    CreateSymbolicLink,          // IoCreateSymbolicLink fails
    ParallelPortInfo,            // the parallel-port driver fails its information request
};

class Faults {
  public:
    // The call after `skip` more successful calls fails (skip 0: the next one).
    void FailNext(FaultPoint point, int skip = 0) { pending_[point] = skip; }
    void Clear() { pending_.clear(); }

    // Called by the operation: true when this call must fail.
    bool ShouldFail(FaultPoint point) {
        auto it = pending_.find(point);
        if (it == pending_.end()) {
            return false;
        }
        if (it->second > 0) {
            --it->second;
            return false;
        }
        pending_.erase(it);
        return true;
    }

  private:
    std::map<FaultPoint, int> pending_;
};

}  // namespace simpc
