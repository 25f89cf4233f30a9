/*
 * lor_driver.h - the vexlor driver's internal interface: its device
 * extension, its names and the routines its source files share.
 */
#ifndef LOR_DRIVER_H
#define LOR_DRIVER_H

#include "lor_platform.h"
#include "vexlor_ioctl.h"

/* Pool tag of the driver's name buffers: the characters 'D', 'd', 'k', ' '. */
#define LOR_POOL_TAG ((ULONG)0x206B6444)

/* The NT device type of \Device\Vexlor0 (also the type of the port codes). */
#define LOR_NT_DEVICE_TYPE ((ULONG)LOR_DEVICE_TYPE)

/*
 * The one per-device record.  There is no per-open state: every handle
 * works on this record, which lives exactly as long as the device.
 */
typedef struct _LorDeviceExtension {
    /* TRUE once an open obtained the port through the system parallel-port driver. */
    BOOLEAN ParportAccess;
    /* TRUE while the grant held came from the TryAllocatePort callback. */
    BOOLEAN AllocatedByTry;
    /* TRUE while a device-control request lends the port to waiting clients. */
    BOOLEAN Lending;
    /* TRUE while the parallel-port driver's grant is held. */
    BOOLEAN PortAllocated;
    /* Opens that share the held port. */
    LONG UserCount;
    /* 1 or 2: how the indexed register reads treat the control register's direction bit. */
    UCHAR DirectionMode;
    /* I/O address of the EPP address register (base + 3); +1 is EPP data, +0x3FF the ECR. */
    PUCHAR EppPort;
    /* The device that owns this record. */
    PDEVICE_OBJECT DeviceObject;
    /* High nibble of the last 8-bit register write to the EPP address register. */
    UCHAR AddressHighBits;
    /* The parallel-port driver's description of the port; on raw access only Controller. */
    PARALLEL_PORT_INFORMATION PortInfo;
    /* The system's parallel-port device, and the file object that references it. */
    PDEVICE_OBJECT PortDeviceObject;
    PFILE_OBJECT PortFileObject;
    /* The port to drive: 1 for LPT1, from the registry value Lpt. */
    ULONG LptNumber;
    /*
     * TRUE while an open, a close or a lending step is inside the arbitration
     * with the parallel-port driver (it may wait there).  Opens, closes and
     * requests that arrive meanwhile must not start arbitration of their own.
     */
    BOOLEAN Arbitrating;
    /* Closes that arrived while Arbitrating and still have to give their user back. */
    LONG DeferredReleases;
    /*
     * An open that becomes a user of the held port marks its file object
     * with this generation.  A lending step that cannot take the port back
     * starts a new one: the opens of the old generation hold nothing any
     * more, and their closes give nothing back.
     */
    ULONG UserGeneration;
} LorDeviceExtension, *PLorDeviceExtension;

/* Register map, relative to the port's base (the data register). */
#define LOR_DATA_OFFSET 0
#define LOR_STATUS_OFFSET 1
#define LOR_CONTROL_OFFSET 2
#define LOR_EPP_ADDRESS_OFFSET 3
/* The ECR of an ECP port sits 0x400 above its base, i.e. 0x3FF above the EPP address register. */
#define LOR_ECR_FROM_EPP_PORT 0x3FF
/* ECR bits 7..5 select the port's mode; 100 is EPP. */
#define LOR_ECR_MODE_MASK 0xE0
#define LOR_ECR_MODE_EPP 0x80

/* The trace hook: printf-style, fixed messages, no output of its own. */
extern "C" VOID LorTrace(PCSTR Format, ...);

/* Load and unload. */
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
VOID ReadLptParameter(PUNICODE_STRING RegistryPath, PULONG LptNumber);
NTSTATUS GpdCreateDevice(PCWSTR DeviceName, ULONG DeviceType, PDRIVER_OBJECT DriverObject,
                         PDEVICE_OBJECT* DeviceObject);
DRIVER_UNLOAD LORUnload;

/* Dispatch routines. */
DRIVER_DISPATCH LORDispatchOpenCreate;
DRIVER_DISPATCH LORDispatchClose;
DRIVER_DISPATCH LORDispatchDeviceControl;

/*
 * Output-buffer rule: the system address of a METHOD_OUT_DIRECT output
 * buffer of at least MinimumLength bytes.  STATUS_ACCESS_VIOLATION when the
 * request has no output buffer, STATUS_BUFFER_TOO_SMALL when it is shorter,
 * STATUS_INSUFFICIENT_RESOURCES when the pages cannot be mapped.
 */
NTSTATUS LorMapOutputBuffer(PIRP Irp, PIO_STACK_LOCATION Stack, ULONG MinimumLength,
                            PUCHAR* Buffer);

/* Request handlers: extension, request, current stack location in; status out. */
typedef NTSTATUS LOR_HANDLER(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack);

typedef NTSTATUS LOR_PORT_HANDLER(PLorDeviceExtension Extension, PIRP Irp,
                                  PIO_STACK_LOCATION Stack, ULONG Function);

/* Answered by the device-control dispatch routine itself. */
LOR_HANDLER LorSetEppMode;
LOR_HANDLER LorGetVersion;
LOR_HANDLER LorSetLinesRequest;
LOR_HANDLER LorReadEepromRequest;

/* Register access. */
LOR_PORT_HANDLER PortRegisterRead;
LOR_PORT_HANDLER PortIndexedRead;
LOR_PORT_HANDLER PortRegisterWrite;
LOR_PORT_HANDLER PortIndexedWrite;
LOR_PORT_HANDLER PortSetDirectionMode;
LOR_HANDLER PortNop;
LOR_HANDLER PortReadPairs;

/* Serial and byte stream output. */
LOR_HANDLER LorShiftOutBlock;
LOR_HANDLER LorShiftOut;
LOR_HANDLER LorWriteBytes;

/* Acquisition reads. */
LOR_HANDLER LorReadWindow;
LOR_HANDLER LorCaptureTriggered;
LOR_HANDLER LorReadUntilStop;
LOR_HANDLER LorReadBytes;

/* Line control: SetLOR commands are the LOR_LINES_* values of vexlor_ioctl.h. */
VOID SetLOR(UCHAR Command, PUCHAR Base);

/* Port arbitration with the system parallel-port driver. */
NTSTATUS AllocateFreePort(PDEVICE_OBJECT DeviceObject, BOOLEAN Release, BOOLEAN Force);
IO_COMPLETION_ROUTINE AllocateFreeCompletion;
/* Gives back the users of closes that arrived while the arbitration was busy. */
VOID ApplyDeferredReleases(PDEVICE_OBJECT DeviceObject);

/* Port discovery through the system parallel-port driver. */
NTSTATUS QueryParallelDriver(PDEVICE_OBJECT DeviceObject, ULONG LptNumber);
/* Drops the reference that the lookup of the parallel-port device returned. */
VOID ReleaseParallelDriver(PLorDeviceExtension Extension);

/*
 * Port arbitration.  LendPortToWaiters runs before every device-control
 * request is routed; it returns TRUE when it has completed the request
 * itself (with *Status), which then must not be routed.
 */
BOOLEAN LendPortToWaiters(PDEVICE_OBJECT DeviceObject, PIRP Irp, NTSTATUS* Status);

#endif /* LOR_DRIVER_H */
