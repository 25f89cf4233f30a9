// What a vexlor.sys image must be: a native-subsystem kernel image for its
// architecture, relocatable, with the declared versions, and importing only
// routines that Windows NT 4.0's ntoskrnl.exe and HAL.dll already exported,
// so that the same image loads on NT 4, Windows 2000 and later.

#pragma once

#include "pe_image.h"

#include <string>
#include <vector>

namespace peimage {

struct DriverPolicy {
    std::uint16_t machine = 0;
    bool pe32_plus = false;
    Version subsystem_version;
    Version os_version;
    // A base relocation directory with fixups must be present. x86 code
    // always holds absolute addresses; x64 code that is all RIP-relative
    // may need no fixup at all.
    bool require_relocations = false;
};

// x86: PE32, subsystem and OS version 4.0 (NT 4), relocations required.
// x64: PE32+, subsystem and OS version 5.2 (the first x64 Windows).
DriverPolicy driver_policy_x86();
DriverPolicy driver_policy_x64();

// True when the routine was exported by that module of NT 4.0 and may be
// imported: the module is ntoskrnl.exe or HAL.dll (any case), the routine
// name matches exactly.
bool is_allowed_kernel_import(const std::string& dll, const std::string& routine);

// Every way in which the image breaks the policy, one sentence each; empty
// when it complies.
std::vector<std::string> check_driver(const Image& image, const DriverPolicy& policy);

} // namespace peimage
