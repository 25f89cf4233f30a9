/*
 * output_buffer.cpp - how a handler reaches a METHOD_OUT_DIRECT output
 * buffer: the caller's own pages, locked by the I/O manager and described by
 * the request's MDL.
 */
#include "lor_driver.h"

NTSTATUS LorMapOutputBuffer(PIRP Irp, PIO_STACK_LOCATION Stack, ULONG MinimumLength,
                            PUCHAR* Buffer) {
    *Buffer = NULL;

    /* The I/O manager builds no MDL for an output length of 0. */
    PMDL mdl = Irp->MdlAddress;
    if (mdl == NULL) {
        return STATUS_ACCESS_VIOLATION;
    }
    if (Stack->Parameters.DeviceIoControl.OutputBufferLength < MinimumLength) {
        return STATUS_BUFFER_TOO_SMALL;
    }

    PVOID address;
    if (mdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL)) {
        address = mdl->MappedSystemVa;
    } else {
        /* The system undoes this mapping when it releases the MDL after completion. */
        address = MmMapLockedPages(mdl, KernelMode);
    }
    if (address == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *Buffer = (PUCHAR)address;
    return STATUS_SUCCESS;
}
