// The user-mode side of the simulated PC: the process's handle table and
// its last-error value.
#pragma once

#include <cstdint>
#include <map>

#include "ntddk.h"

namespace simpc {

// The Win32 error that kernel32 reports for an NT status.
uint32_t Win32ErrorFromStatus(NTSTATUS status);

class Win32State {
  public:
    // Handles are small multiples of four, as on Windows.
    void* AddHandle(PFILE_OBJECT file);
    PFILE_OBJECT FileOf(void* handle) const;
    PFILE_OBJECT RemoveHandle(void* handle);
    size_t OpenHandleCount() const { return handles_.size(); }
    // Closes every handle still open (the process ends).
    void CloseAll();

    uint32_t last_error = 0;

  private:
    std::map<uintptr_t, PFILE_OBJECT> handles_;
    uintptr_t next_handle_ = 0x40;
};

}  // namespace simpc
