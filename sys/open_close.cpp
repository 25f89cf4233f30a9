/*
 * open_close.cpp - IRP_MJ_CREATE and IRP_MJ_CLOSE of \Device\Vexlor0.
 *
 * An open locates the port (through the parallel-port driver, or at the
 * legacy address) and, when the parallel-port driver owns it, adds one user
 * to the driver's grant; the close of that open removes the user again.
 */
#include "lor_driver.h"

/*
 * The mark, in an open's file object, that the open counts as a user of the
 * held port in the current generation of users (never NULL).
 */
static PVOID UserMark(const LorDeviceExtension* Extension) {
    return (PVOID)((ULONG_PTR)Extension->UserGeneration * 2 + 1);
}

/* The legacy base address of LPT<n>, for a port reached without the parallel-port driver. */
static ULONG LegacyBase(ULONG LptNumber) {
    switch (LptNumber) {
        case 2:
            return 0x278;
        case 3:
            return 0x3F8;
        case 4:
            return 0x2F8;
        default:
            return 0x378;
    }
}

/* The I/O address at which the processor reaches an ISA I/O bus address. */
static PUCHAR TranslatePortAddress(PHYSICAL_ADDRESS BusAddress, PULONG AddressSpace) {
    PHYSICAL_ADDRESS translated;
    translated.QuadPart = 0;
    if (!HalTranslateBusAddress(Isa, 0, BusAddress, AddressSpace, &translated)) {
        /*
         * A HAL that cannot translate leaves no usable address (0 would hit
         * the DMA controller).  ISA I/O ports appear at their bus addresses.
         */
        translated = BusAddress;
        *AddressSpace = 1;
    }
    return (PUCHAR)(ULONG_PTR)translated.LowPart;
}

static NTSTATUS CompleteOpenOrClose(PIRP Irp, NTSTATUS Status) {
    Irp->IoStatus.Status = Status;
    Irp->IoStatus.Information = 0;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    return Status;
}

NTSTATUS NTAPI LORDispatchOpenCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;
    PFILE_OBJECT fileObject = IoGetCurrentIrpStackLocation(Irp)->FileObject;

    /* Another open, close or lending step is waiting for the parallel-port driver. */
    if (extension->Arbitrating) {
        return CompleteOpenOrClose(Irp, STATUS_DEVICE_BUSY);
    }
    extension->Arbitrating = TRUE;

    ULONG addressSpace = 1;
    NTSTATUS status;
    BOOLEAN acquire = TRUE;

    if (!extension->ParportAccess) {
        LorTrace("[W2000+] LORDispatchOpenCreate - QueryParallelDriver ...");
        status = QueryParallelDriver(DeviceObject, extension->LptNumber);
        LorTrace(NT_SUCCESS(status) ? "OK\n" : "ERROR\n");

        if (NT_SUCCESS(status)) {
            LorTrace("Parport opened correctly -> using correct access/n");
            PHYSICAL_ADDRESS eppAddress = extension->PortInfo.OriginalController;
            eppAddress.LowPart += LOR_EPP_ADDRESS_OFFSET;
            extension->EppPort = TranslatePortAddress(eppAddress, &addressSpace);
            extension->ParportAccess = TRUE;
        } else {
            LorTrace("Unable to open parport -> using raw access/n");
            const ULONG base = LegacyBase(extension->LptNumber);
            PHYSICAL_ADDRESS busAddress;
            busAddress.QuadPart = base;
            extension->PortInfo.Controller = TranslatePortAddress(busAddress, &addressSpace);
            busAddress.QuadPart = base + LOR_EPP_ADDRESS_OFFSET;
            extension->EppPort = TranslatePortAddress(busAddress, &addressSpace);
            extension->ParportAccess = FALSE;
            status = STATUS_SUCCESS;
            acquire = FALSE;
        }
    }

    if (acquire) {
        LorTrace("[W2000+] - Trying allocate port from Parralell driver...");
        status = AllocateFreePort(DeviceObject, FALSE, FALSE);
        LorTrace(NT_SUCCESS(status) ? "OK\n" : "ERROR\n");
        /* An open that timed out succeeds without the port and counts as no user. */
        if (NT_SUCCESS(status) && status != STATUS_TIMEOUT && fileObject != NULL) {
            fileObject->FsContext2 = UserMark(extension);
        }
    }

    extension->Arbitrating = FALSE;
    ApplyDeferredReleases(DeviceObject);
    return CompleteOpenOrClose(Irp, status);
}

NTSTATUS NTAPI LORDispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;
    PFILE_OBJECT fileObject = IoGetCurrentIrpStackLocation(Irp)->FileObject;

    /*
     * Only an open that became a user of the held port gives one back: the
     * close of an open that timed out, or that lost the port in a lending
     * step, must not take the port from the opens that do hold it.
     */
    if (fileObject == NULL || fileObject->FsContext2 != UserMark(extension)) {
        LorTrace("Port not mapped, nothing to close\n");
        return CompleteOpenOrClose(Irp, STATUS_SUCCESS);
    }
    fileObject->FsContext2 = NULL;

    if (extension->Arbitrating) {
        /* Given back once the arbitration step under way has finished. */
        extension->DeferredReleases++;
        return CompleteOpenOrClose(Irp, STATUS_SUCCESS);
    }
    extension->Arbitrating = TRUE;
    NTSTATUS status = AllocateFreePort(DeviceObject, TRUE, FALSE);
    extension->Arbitrating = FALSE;
    ApplyDeferredReleases(DeviceObject);
    return CompleteOpenOrClose(Irp, status);
}
