// The executive pool and the run-time library routines as kernel code
// imports them: counted strings and the registry query.
#include <cstring>

#include "names.h"
#include "simpc/pc.h"

using simpc::Pc;

namespace {

const char* RelativeRoot(ULONG relative_to) {
    switch (relative_to & 0xFFFF) {
        case RTL_REGISTRY_ABSOLUTE:
            return "";
        case RTL_REGISTRY_SERVICES:
            return "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";
        case RTL_REGISTRY_CONTROL:
            return "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\";
        case RTL_REGISTRY_WINDOWS_NT:
            return "\\Registry\\Machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
        case RTL_REGISTRY_DEVICEMAP:
            return "\\Registry\\Machine\\Hardware\\DeviceMap\\";
        case RTL_REGISTRY_USER:
            return "\\Registry\\User\\CurrentUser\\";
        default:
            return nullptr;
    }
}

bool IsStringType(ULONG type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// What a direct query stores for one value.  Strings go into the
// UNICODE_STRING that EntryContext points to; other data of up to four
// bytes into EntryContext itself; longer data into a buffer whose size the
// caller puts, as a LONG, at the start of EntryContext (negative: data only;
// positive: length, type, then data).
NTSTATUS StoreDirect(PVOID entry_context, ULONG type, const uint8_t* data, ULONG length) {
    if (IsStringType(type)) {
        auto* target = static_cast<PUNICODE_STRING>(entry_context);
        const ULONG text_bytes = length >= sizeof(WCHAR) ? length - sizeof(WCHAR) : 0;
        if (target->Buffer == nullptr) {
            auto* buffer = static_cast<PWSTR>(
                Pc::Current().pool().Allocate(PagedPool, text_bytes + sizeof(WCHAR), 0x20206D43));
            if (buffer == nullptr) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            target->Buffer = buffer;
            target->MaximumLength = static_cast<USHORT>(text_bytes + sizeof(WCHAR));
        } else if (target->MaximumLength < text_bytes + sizeof(WCHAR)) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        if (text_bytes != 0) {  // an empty text may come without any data
            std::memcpy(target->Buffer, data, text_bytes);
        }
        target->Buffer[text_bytes / sizeof(WCHAR)] = 0;
        target->Length = static_cast<USHORT>(text_bytes);
        return STATUS_SUCCESS;
    }
    if (length <= sizeof(ULONG)) {
        if (length != 0) {
            std::memcpy(entry_context, data, length);
        }
        return STATUS_SUCCESS;
    }
    LONG declared;
    std::memcpy(&declared, entry_context, sizeof(declared));
    if (declared < 0) {
        if (static_cast<ULONG>(-static_cast<int64_t>(declared)) < length) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        std::memcpy(entry_context, data, length);
        return STATUS_SUCCESS;
    }
    if (static_cast<ULONG>(declared) < length + 2 * sizeof(ULONG)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* out = static_cast<uint8_t*>(entry_context);
    std::memcpy(out, &length, sizeof(ULONG));
    std::memcpy(out + sizeof(ULONG), &type, sizeof(ULONG));
    std::memcpy(out + 2 * sizeof(ULONG), data, length);
    return STATUS_SUCCESS;
}

ULONG DefaultDataLength(ULONG type, PVOID data, ULONG length) {
    if (length != 0 || !IsStringType(type) || data == nullptr) {
        return length;
    }
    // A string default of length 0 is measured, its NUL included.
    ULONG units = 0;
    while (static_cast<PCWSTR>(data)[units] != 0) {
        ++units;
    }
    return (units + 1) * sizeof(WCHAR);
}

}  // namespace

extern "C" {

PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
    return Pc::Current().pool().Allocate(PoolType, NumberOfBytes, Tag);
}

VOID NTAPI ExFreePool(PVOID P) { Pc::Current().pool().Free(P); }

VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
    if (SourceString == nullptr) {
        DestinationString->Length = 0;
        DestinationString->MaximumLength = 0;
        DestinationString->Buffer = nullptr;
        return;
    }
    size_t units = 0;
    while (SourceString[units] != 0) {
        ++units;
    }
    DestinationString->Length = static_cast<USHORT>(units * sizeof(WCHAR));
    DestinationString->MaximumLength = static_cast<USHORT>((units + 1) * sizeof(WCHAR));
    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
}

NTSTATUS NTAPI RtlIntegerToUnicodeString(ULONG Value, ULONG Base, PUNICODE_STRING String) {
    if (Base == 0) {
        Base = 10;
    }
    if (Base != 2 && Base != 8 && Base != 10 && Base != 16) {
        return STATUS_INVALID_PARAMETER;
    }
    char digits[33];
    int count = 0;
    do {
        const ULONG digit = Value % Base;
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
        Value /= Base;
    } while (Value != 0);
    const ULONG bytes = static_cast<ULONG>(count) * sizeof(WCHAR);
    if (bytes > String->MaximumLength) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (int i = 0; i < count; ++i) {
        String->Buffer[i] = static_cast<WCHAR>(digits[count - 1 - i]);
    }
    if (bytes + sizeof(WCHAR) <= String->MaximumLength) {
        String->Buffer[count] = 0;
    }
    String->Length = static_cast<USHORT>(bytes);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI RtlAppendUnicodeStringToString(PUNICODE_STRING Destination,
                                              PCUNICODE_STRING Source) {
    const ULONG total = static_cast<ULONG>(Destination->Length) + Source->Length;
    if (total > Destination->MaximumLength) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (Source->Length != 0) {
        std::memmove(reinterpret_cast<uint8_t*>(Destination->Buffer) + Destination->Length,
                     Source->Buffer, Source->Length);
    }
    Destination->Length = static_cast<USHORT>(total);
    if (total + sizeof(WCHAR) <= Destination->MaximumLength) {
        Destination->Buffer[total / sizeof(WCHAR)] = 0;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI RtlQueryRegistryValues(ULONG RelativeTo, PCWSTR Path,
                                      PRTL_QUERY_REGISTRY_TABLE QueryTable, PVOID Context,
                                      PVOID Environment) {
    (void)Environment;
    Pc& pc = Pc::Current();
    const char* root = RelativeRoot(RelativeTo);
    if (root == nullptr || (RelativeTo & RTL_REGISTRY_HANDLE) || Path == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const std::string key = std::string(root) + simpc::Narrow(Path);
    if (!pc.registry().KeyExists(key)) {
        return (RelativeTo & RTL_REGISTRY_OPTIONAL) ? STATUS_SUCCESS
                                                    : STATUS_OBJECT_NAME_NOT_FOUND;
    }

    for (PRTL_QUERY_REGISTRY_TABLE entry = QueryTable;
         entry->QueryRoutine != nullptr || entry->Name != nullptr; ++entry) {
        if (entry->Flags & (RTL_QUERY_REGISTRY_SUBKEY | RTL_QUERY_REGISTRY_TOPKEY)) {
            return STATUS_INVALID_PARAMETER;  // not served by the simulated registry
        }
        const bool direct = (entry->Flags & RTL_QUERY_REGISTRY_DIRECT) != 0;
        if (entry->Name == nullptr) {
            return STATUS_INVALID_PARAMETER;
        }
        const ULONG default_type = entry->DefaultType & 0x00FFFFFF;
        const simpc::RegistryValue* value =
            pc.registry().FindValue(key, simpc::Narrow(entry->Name));

        ULONG type;
        const uint8_t* data;
        ULONG length;
        if (value != nullptr) {
            if (entry->Flags & RTL_QUERY_REGISTRY_TYPECHECK) {
                const ULONG expected = entry->DefaultType >> RTL_QUERY_REGISTRY_TYPECHECK_SHIFT;
                if (value->type != expected) {
                    return STATUS_OBJECT_TYPE_MISMATCH;
                }
            }
            type = value->type;
            data = value->data.data();
            length = static_cast<ULONG>(value->data.size());
        } else {
            if (entry->Flags & RTL_QUERY_REGISTRY_REQUIRED) {
                return STATUS_OBJECT_NAME_NOT_FOUND;
            }
            if (default_type == REG_NONE) {
                continue;
            }
            type = default_type;
            data = static_cast<const uint8_t*>(entry->DefaultData);
            length = DefaultDataLength(type, entry->DefaultData, entry->DefaultLength);
        }

        NTSTATUS status;
        if (direct) {
            status = StoreDirect(entry->EntryContext, type, data, length);
        } else {
            status = entry->QueryRoutine(entry->Name, type, const_cast<uint8_t*>(data), length,
                                         Context, entry->EntryContext);
        }
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return STATUS_SUCCESS;
}

}  // extern "C"
