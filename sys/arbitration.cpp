/*
 * arbitration.cpp - sharing the port with the system parallel-port driver.
 *
 * The driver holds the port from the first open to the last close and
 * lends it, for the length of one device-control request, to other clients
 * that wait for it.  Acquiring tries the parallel-port driver's
 * TryAllocatePort callback first (one call, no IRP); only a busy port costs
 * an allocate request and a wait.
 */
#include "lor_driver.h"

/* One second, relative, in units of 100 ns. */
#define LOR_ALLOCATE_TIMEOUT (-10000000LL)

NTSTATUS NTAPI AllocateFreeCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(Irp);
    KeSetEvent((PKEVENT)Context, IO_NO_INCREMENT, FALSE);
    /* The IRP goes back to AllocateFreePort, which frees it. */
    return STATUS_MORE_PROCESSING_REQUIRED;
}

/* Records what a completed allocate or free request did. */
static VOID RecordRequestOutcome(PLorDeviceExtension Extension, BOOLEAN Release, NTSTATUS Status) {
    if (Release) {
        Extension->UserCount = 0;
        if (!NT_SUCCESS(Status)) {
            /*
             * The parallel-port driver did not take the port back: it still
             * counts as this driver's grant, so the next acquire does not
             * wait for it and the next give-back (or the unload) tries again.
             */
            return;
        }
        LorTrace("OK port unmapped by ioctl\n");
        Extension->PortAllocated = FALSE;
        return;
    }
    if (NT_SUCCESS(Status)) {
        LorTrace("OK port mapped by ioctl\n");
        Extension->UserCount++;
        Extension->PortAllocated = TRUE;
        SetLOR(LOR_LINES_ATTACH, Extension->PortInfo.Controller);
    }
}

/* Sends IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE or _FREE and waits for its completion. */
static NTSTATUS SendAllocateFreeRequest(PLorDeviceExtension Extension, BOOLEAN Release,
                                        BOOLEAN Force) {
    LorTrace("Trying 'IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE/FREE'\n");

    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);

    PIRP irp = IoAllocateIrp((CCHAR)(Extension->PortDeviceObject->StackSize + 1), FALSE);
    if (irp == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.OutputBufferLength = 0;
    next->Parameters.DeviceIoControl.InputBufferLength = 0;
    next->Parameters.DeviceIoControl.IoControlCode =
        Release ? IOCTL_INTERNAL_PARALLEL_PORT_FREE : IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE;
    IoSetCompletionRoutine(irp, AllocateFreeCompletion, &event, TRUE, TRUE, TRUE);

    /* The outcome is read from the IRP once the completion routine has run. */
    IofCallDriver(Extension->PortDeviceObject, irp);

    LARGE_INTEGER timeout;
    timeout.QuadPart = LOR_ALLOCATE_TIMEOUT;
    NTSTATUS waitStatus =
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, Force ? NULL : &timeout);

    if (waitStatus == STATUS_TIMEOUT) {
        LorTrace("ioctl call timeout\n");
        IoCancelIrp(irp);
        /* The event lives in this frame: wait until the completion routine has set it. */
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
        NTSTATUS lateStatus = irp->IoStatus.Status;
        IoFreeIrp(irp);
        if (!NT_SUCCESS(lateStatus)) {
            return STATUS_TIMEOUT;
        }
        /*
         * The request was carried out after all while it was being
         * cancelled: a grant nobody recorded would never be given back, so
         * it is recorded like one that came in time.
         */
        RecordRequestOutcome(Extension, Release, lateStatus);
        return lateStatus;
    }

    NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    RecordRequestOutcome(Extension, Release, status);
    return status;
}

NTSTATUS AllocateFreePort(PDEVICE_OBJECT DeviceObject, BOOLEAN Release, BOOLEAN Force) {
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;

    if (Release && !extension->PortAllocated) {
        LorTrace("Port not mapped, nothing to close\n");
        return STATUS_SUCCESS;
    }

    /*
     * The driver's own grant is still held (a forced release that got no
     * IRP): asking for the port again would wait for ever for a grant that
     * only this driver can give back.
     */
    if (!Release && Force && extension->PortAllocated) {
        return STATUS_SUCCESS;
    }

    if (!Force && extension->PortAllocated) {
        extension->UserCount += Release ? -1 : 1;
        if (extension->UserCount != 0) {
            LorTrace("There are still some users\n");
            return STATUS_SUCCESS;
        }
        LorTrace("There are no users\n");
    }

    if (Release) {
        SetLOR(LOR_LINES_DETACH, extension->PortInfo.Controller);
        if (extension->AllocatedByTry) {
            extension->PortInfo.FreePort(extension->PortInfo.Context);
            extension->UserCount = 0;
            extension->PortAllocated = FALSE;
            extension->AllocatedByTry = FALSE;
            LorTrace("Port is unmaped by FreePort()\n");
            return STATUS_SUCCESS;
        }
    } else if (extension->PortInfo.TryAllocatePort(extension->PortInfo.Context)) {
        LorTrace("OK port mapped by 'TryAllocatePort()'\n");
        extension->UserCount++;
        extension->AllocatedByTry = TRUE;
        extension->PortAllocated = TRUE;
        SetLOR(LOR_LINES_ATTACH, extension->PortInfo.Controller);
        return STATUS_SUCCESS;
    }

    return SendAllocateFreeRequest(extension, Release, Force);
}

VOID ApplyDeferredReleases(PDEVICE_OBJECT DeviceObject) {
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;
    while (extension->DeferredReleases > 0 && !extension->Arbitrating) {
        extension->DeferredReleases--;
        extension->Arbitrating = TRUE;
        AllocateFreePort(DeviceObject, TRUE, FALSE);
        extension->Arbitrating = FALSE;
    }
}

BOOLEAN LendPortToWaiters(PDEVICE_OBJECT DeviceObject, PIRP Irp, NTSTATUS* Status) {
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;
    *Status = STATUS_SUCCESS;

    if (!extension->ParportAccess) {
        return FALSE;
    }

    /*
     * Lend only a port this driver holds, and never from inside another
     * arbitration step (a request that arrives while another one lends, or
     * while an open or close waits for the parallel-port driver).
     */
    if (!extension->Arbitrating &&
        extension->PortInfo.QueryNumWaiters(extension->PortInfo.Context) != 0 &&
        extension->PortAllocated) {
        LorTrace("Freeing port for other for a while...\n");
        extension->Lending = TRUE;
        extension->Arbitrating = TRUE;
        /* Every open that holds the port still holds it after the lending pair. */
        LONG users = extension->UserCount;
        AllocateFreePort(DeviceObject, TRUE, TRUE);
        if (extension->PortAllocated) {
            /* The port could not be given away (no IRP): undo the detach. */
            SetLOR(LOR_LINES_ATTACH, extension->PortInfo.Controller);
        } else {
            AllocateFreePort(DeviceObject, FALSE, TRUE);
        }
        if (extension->PortAllocated) {
            extension->UserCount = users;
        } else {
            /* The port was not taken back: the opens that held it hold nothing now. */
            extension->UserGeneration++;
        }
        extension->Lending = FALSE;
        extension->Arbitrating = FALSE;
        ApplyDeferredReleases(DeviceObject);
    }

    if (extension->Lending) {
        LorTrace("[Dispatch] - Driver Enter occured !... Why?\n");
        Irp->IoStatus.Status = STATUS_NOT_IMPLEMENTED;
        Irp->IoStatus.Information = 0;
        IofCompleteRequest(Irp, IO_NO_INCREMENT);
        *Status = STATUS_NOT_IMPLEMENTED;
        return TRUE;
    }
    return FALSE;
}
