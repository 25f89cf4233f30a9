#include "win32_state.h"

#include "simpc/pc.h"

namespace simpc {

uint32_t Win32ErrorFromStatus(NTSTATUS status) {
    switch (status) {
        case STATUS_SUCCESS:
            return 0;
        case STATUS_NOT_IMPLEMENTED:
        case STATUS_INVALID_DEVICE_REQUEST:
            return 1;  // ERROR_INVALID_FUNCTION
        case STATUS_OBJECT_NAME_NOT_FOUND:
        case STATUS_NO_SUCH_DEVICE:
            return 2;  // ERROR_FILE_NOT_FOUND
        case STATUS_OBJECT_PATH_NOT_FOUND:
            return 3;  // ERROR_PATH_NOT_FOUND
        case STATUS_ACCESS_DENIED:
            return 5;  // ERROR_ACCESS_DENIED
        case STATUS_INVALID_HANDLE:
            return 6;  // ERROR_INVALID_HANDLE
        case STATUS_NO_MEMORY:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        case STATUS_UNSUCCESSFUL:
            return 31;  // ERROR_GEN_FAILURE
        case STATUS_INVALID_PARAMETER:
            return 87;  // ERROR_INVALID_PARAMETER
        case STATUS_BUFFER_TOO_SMALL:
            return 122;  // ERROR_INSUFFICIENT_BUFFER
        case STATUS_OBJECT_NAME_INVALID:
            return 123;  // ERROR_INVALID_NAME
        case STATUS_DEVICE_BUSY:
            return 170;  // ERROR_BUSY
        case STATUS_OBJECT_NAME_COLLISION:
            return 183;  // ERROR_ALREADY_EXISTS
        case STATUS_BUFFER_OVERFLOW:
            return 234;  // ERROR_MORE_DATA
        case STATUS_CANCELLED:
            return 995;  // ERROR_OPERATION_ABORTED
        case STATUS_ACCESS_VIOLATION:
            return 998;  // ERROR_NOACCESS
        case STATUS_DEVICE_CONFIGURATION_ERROR:
            return 1610;  // ERROR_BAD_CONFIGURATION
        case STATUS_INSUFFICIENT_RESOURCES:
            return 1450;  // ERROR_NO_SYSTEM_RESOURCES
        default:
            return 317;  // ERROR_MR_MID_NOT_FOUND: no Win32 text for this status
    }
}

void* Win32State::AddHandle(PFILE_OBJECT file) {
    const uintptr_t value = next_handle_;
    next_handle_ += 4;
    handles_[value] = file;
    return reinterpret_cast<void*>(value);
}

PFILE_OBJECT Win32State::FileOf(void* handle) const {
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles_.end() ? nullptr : it->second;
}

PFILE_OBJECT Win32State::RemoveHandle(void* handle) {
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles_.end()) {
        return nullptr;
    }
    PFILE_OBJECT file = it->second;
    handles_.erase(it);
    return file;
}

void* Win32State::AddObjectHandle() {
    const uintptr_t value = next_handle_;
    next_handle_ += 4;
    object_handles_.insert(value);
    return reinterpret_cast<void*>(value);
}

bool Win32State::RemoveObjectHandle(void* handle) {
    return object_handles_.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
}

void Win32State::CloseAll() {
    object_handles_.clear();
    while (!handles_.empty()) {
        PFILE_OBJECT file = handles_.begin()->second;
        handles_.erase(handles_.begin());
        Pc::Current().io().CloseHandleOf(file);
    }
}

}  // namespace simpc
