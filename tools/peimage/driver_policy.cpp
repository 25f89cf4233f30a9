#include "driver_policy.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace peimage {
namespace {

// Routines of Windows NT 4.0's ntoskrnl.exe that a legacy driver may import.
// Deliberately absent, as later additions: ExFreePoolWithTag,
// ExAllocatePoolWithTagPriority, MmMapLockedPagesSpecifyCache (behind the
// *Safe MDL macros), MmGetSystemRoutineAddress, IoCreateDeviceSecure,
// IoAllocateWorkItem, IoIsWdmVersionAvailable and the Po* routines.
constexpr const char* kNtoskrnlNt4[] = {
    "DbgBreakPoint",
    "DbgPrint",
    "ExAllocatePool",
    "ExAllocatePoolWithQuota",
    "ExAllocatePoolWithQuotaTag",
    "ExAllocatePoolWithTag",
    "ExFreePool",
    "IoAllocateErrorLogEntry",
    "IoAllocateIrp",
    "IoAllocateMdl",
    "IoAttachDevice",
    "IoAttachDeviceToDeviceStack",
    "IoBuildAsynchronousFsdRequest",
    "IoBuildDeviceIoControlRequest",
    "IoBuildSynchronousFsdRequest",
    "IoCancelIrp",
    "IoCreateDevice",
    "IoCreateSymbolicLink",
    "IoCreateUnprotectedSymbolicLink",
    "IoDeleteDevice",
    "IoDeleteSymbolicLink",
    "IoDetachDevice",
    "IoFreeIrp",
    "IoFreeMdl",
    "IoGetConfigurationInformation",
    "IoGetDeviceObjectPointer",
    "IoInitializeIrp",
    "IoInitializeTimer",
    "IoQueryDeviceDescription",
    "IoRegisterShutdownNotification",
    "IoReportResourceUsage",
    "IoStartNextPacket",
    "IoStartPacket",
    "IoStartTimer",
    "IoStopTimer",
    "IoUnregisterShutdownNotification",
    "IoWriteErrorLogEntry",
    "IofCallDriver",
    "IofCompleteRequest",
    "KeBugCheck",
    "KeBugCheckEx",
    "KeCancelTimer",
    "KeClearEvent",
    "KeDelayExecutionThread",
    "KeInitializeDpc",
    "KeInitializeEvent",
    "KeInitializeMutex",
    "KeInitializeSemaphore",
    "KeInitializeSpinLock",
    "KeInitializeTimer",
    "KeInitializeTimerEx",
    "KeInsertQueueDpc",
    "KeQuerySystemTime",
    "KeQueryTimeIncrement",
    "KeReadStateEvent",
    "KeReleaseMutex",
    "KeReleaseSemaphore",
    "KeRemoveQueueDpc",
    "KeResetEvent",
    "KeSetEvent",
    "KeSetTimer",
    "KeSetTimerEx",
    "KeSynchronizeExecution",
    "KeWaitForMultipleObjects",
    "KeWaitForSingleObject",
    "MmAllocateContiguousMemory",
    "MmBuildMdlForNonPagedPool",
    "MmCreateMdl",
    "MmFreeContiguousMemory",
    "MmGetPhysicalAddress",
    "MmIsAddressValid",
    "MmMapIoSpace",
    "MmMapLockedPages",
    "MmProbeAndLockPages",
    "MmSizeOfMdl",
    "MmUnlockPages",
    "MmUnmapIoSpace",
    "MmUnmapLockedPages",
    "ObReferenceObjectByHandle",
    "ObReferenceObjectByPointer",
    "ObfDereferenceObject",
    "ObfReferenceObject",
    "PsCreateSystemThread",
    "PsGetVersion",
    "PsTerminateSystemThread",
    "RtlAnsiStringToUnicodeString",
    "RtlAppendUnicodeStringToString",
    "RtlAppendUnicodeToString",
    "RtlCheckRegistryKey",
    "RtlCompareMemory",
    "RtlCompareUnicodeString",
    "RtlCopyUnicodeString",
    "RtlCreateRegistryKey",
    "RtlDeleteRegistryValue",
    "RtlEqualUnicodeString",
    "RtlFreeUnicodeString",
    "RtlInitAnsiString",
    "RtlInitString",
    "RtlInitUnicodeString",
    "RtlIntegerToUnicodeString",
    "RtlQueryRegistryValues",
    "RtlUnicodeStringToAnsiString",
    "RtlUnicodeStringToInteger",
    "RtlUpcaseUnicodeString",
    "RtlWriteRegistryValue",
    "ZwClose",
    "ZwCreateFile",
    "ZwCreateKey",
    "ZwDeleteKey",
    "ZwEnumerateKey",
    "ZwOpenKey",
    "ZwQueryInformationFile",
    "ZwQueryValueKey",
    "ZwReadFile",
    "ZwSetValueKey",
    "ZwWriteFile",
    // C library routines that ntoskrnl.exe carries; the compiler emits calls
    // to the mem* ones for block copies and clears.
    "memcpy",
    "memmove",
    "memset",
    "strlen",
    "wcslen",
};

// Routines of Windows NT 4.0's HAL.dll.
constexpr const char* kHalNt4[] = {
    "HalAllocateCommonBuffer",
    "HalAssignSlotResources",
    "HalFreeCommonBuffer",
    "HalGetAdapter",
    "HalGetBusData",
    "HalGetBusDataByOffset",
    "HalGetInterruptVector",
    "HalSetBusData",
    "HalSetBusDataByOffset",
    "HalTranslateBusAddress",
    "KeGetCurrentIrql",
    "KeQueryPerformanceCounter",
    "KeStallExecutionProcessor",
    "KfAcquireSpinLock",
    "KfLowerIrql",
    "KfRaiseIrql",
    "KfReleaseSpinLock",
    "READ_PORT_BUFFER_UCHAR",
    "READ_PORT_BUFFER_ULONG",
    "READ_PORT_BUFFER_USHORT",
    "READ_PORT_UCHAR",
    "READ_PORT_ULONG",
    "READ_PORT_USHORT",
    "WRITE_PORT_BUFFER_UCHAR",
    "WRITE_PORT_BUFFER_ULONG",
    "WRITE_PORT_BUFFER_USHORT",
    "WRITE_PORT_UCHAR",
    "WRITE_PORT_ULONG",
    "WRITE_PORT_USHORT",
};

template <std::size_t N> bool contains(const char* const (&names)[N], const std::string& name) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* entry) { return name == entry; });
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string version_text(Version v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor);
}

std::string hex(std::uint64_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

} // namespace

DriverPolicy driver_policy_x86() {
    DriverPolicy p;
    p.machine = machine::kI386;
    p.pe32_plus = false;
    p.subsystem_version = {4, 0};
    p.os_version = {4, 0};
    p.require_relocations = true;
    return p;
}

DriverPolicy driver_policy_x64() {
    DriverPolicy p;
    p.machine = machine::kAmd64;
    p.pe32_plus = true;
    p.subsystem_version = {5, 2};
    p.os_version = {5, 2};
    p.require_relocations = false;
    return p;
}

bool is_allowed_kernel_import(const std::string& dll, const std::string& routine) {
    const std::string module = lower(dll);
    if (module == "ntoskrnl.exe") {
        return contains(kNtoskrnlNt4, routine);
    }
    if (module == "hal.dll") {
        return contains(kHalNt4, routine);
    }
    return false;
}

std::vector<std::string> check_driver(const Image& image, const DriverPolicy& policy) {
    std::vector<std::string> problems;
    auto problem = [&](std::string text) { problems.push_back(std::move(text)); };

    if (image.machine != policy.machine) {
        problem("machine is " + machine_name(image.machine) + " (" + hex(image.machine) +
                "), expected " + machine_name(policy.machine));
    }
    if (image.pe32_plus != policy.pe32_plus) {
        problem(std::string("format is ") + (image.pe32_plus ? "PE32+" : "PE32") + ", expected " +
                (policy.pe32_plus ? "PE32+" : "PE32"));
    }
    if ((image.file_characteristics & file_flag::kExecutableImage) == 0) {
        problem("not marked as an executable image");
    }
    if (image.subsystem != subsystem::kNative) {
        problem("subsystem is " + subsystem_name(image.subsystem) + " (" +
                std::to_string(image.subsystem) + "), expected native (1)");
    }
    if (image.subsystem_version != policy.subsystem_version) {
        problem("subsystem version is " + version_text(image.subsystem_version) + ", expected " +
                version_text(policy.subsystem_version));
    }
    if (image.os_version != policy.os_version) {
        problem("OS version is " + version_text(image.os_version) + ", expected " +
                version_text(policy.os_version));
    }

    const Section* entry = image.section_at(image.entry_point_rva);
    if (image.entry_point_rva == 0 || entry == nullptr) {
        problem("entry point RVA " + hex(image.entry_point_rva) + " is not inside a section");
    } else if ((entry->characteristics & (section_flag::kCode | section_flag::kExecute)) == 0) {
        problem("entry point lies in section " + entry->name + ", which is not code");
    }

    if ((image.file_characteristics & file_flag::kRelocsStripped) != 0) {
        problem("relocations are stripped: the kernel cannot load the image at another base");
    }
    if (policy.require_relocations && !image.has_relocations()) {
        problem("no base relocations");
    }
    if (image.stored_checksum != 0 && image.stored_checksum != image.computed_checksum) {
        problem("stored checksum " + hex(image.stored_checksum) + " differs from the computed " +
                hex(image.computed_checksum));
    }

    for (const ImportedModule& module : image.imports) {
        const std::string name = lower(module.dll);
        if (name != "ntoskrnl.exe" && name != "hal.dll") {
            problem("imports from " + module.dll + ", which is not ntoskrnl.exe or HAL.dll");
            continue;
        }
        for (const ImportedName& routine : module.names) {
            if (routine.by_ordinal) {
                problem("imports ordinal " + std::to_string(routine.hint_or_ordinal) + " from " +
                        module.dll + ": only imports by name can be checked");
            } else if (!is_allowed_kernel_import(module.dll, routine.name)) {
                problem("imports " + routine.name + " from " + module.dll +
                        ", which is not among the NT 4.0 routines allowed");
            }
        }
    }
    return problems;
}

} // namespace peimage
