// The driver image, mapped once for the whole fuzzing process.
//
// The loader of the simulated PC maps an image at each load and unmaps it
// at unload, so that the driver's globals start from their initial values.
// A fuzzer cannot unmap an instrumented image between its executions (its
// coverage counters live in the image), so here the image stays mapped and,
// before every load, its writable data is put back as the mapping left it:
// the state a fresh mapping gives the driver (its .data and .bss sections;
// the instrumentation's counters keep counting).  The loader then starts the
// image's DriverEntry as a built-in driver, and its unload checks (leaked
// IRPs, pool and references) run as for any driver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ntddk.h"

namespace vexlor_fuzz {

class DriverImage {
  public:
    // Maps the image at `host_path` once; a failure is a crash.
    static DriverImage& Get(const std::string& host_path);

    PDRIVER_INITIALIZE Entry() const { return entry_; }
    // The driver's globals as a fresh mapping has them.
    void RestoreData() const;

  private:
    struct Range {
        uintptr_t start;
        std::vector<uint8_t> initial;
    };
    explicit DriverImage(const std::string& host_path);

    PDRIVER_INITIALIZE entry_ = nullptr;
    std::vector<Range> writable_;
};

}  // namespace vexlor_fuzz
