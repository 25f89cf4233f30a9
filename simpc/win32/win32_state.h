// The user-mode side of the simulated PC: the process's handle table and
// its last-error value, the user's message boxes, the system's version, the
// drive's files and the programs started.
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "file_system.h"
#include "message_boxes.h"
#include "ntddk.h"
#include "program_launcher.h"
#include "system_version.h"

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

    // Handles of other objects (processes, threads): CloseHandle closes them.
    void* AddObjectHandle();
    bool RemoveObjectHandle(void* handle);
    size_t OpenObjectHandleCount() const { return object_handles_.size(); }

    MessageBoxes& message_boxes() { return message_boxes_; }
    SystemInfo& system_info() { return system_info_; }
    FileSystem& files() { return files_; }
    ProgramLauncher& programs() { return programs_; }

    uint32_t last_error = 0;

  private:
    std::map<uintptr_t, PFILE_OBJECT> handles_;
    std::set<uintptr_t> object_handles_;
    MessageBoxes message_boxes_;
    SystemInfo system_info_;
    FileSystem files_;
    ProgramLauncher programs_;
    uintptr_t next_handle_ = 0x40;
};

}  // namespace simpc
