/*
 * register_access.cpp - direct access to the port's registers and the device registers.
 *
 * IOCTL_LOR_PORT_REQUEST is METHOD_BUFFERED: its LorPortRequest arrives in
 * the system buffer, which is as long as the larger of the caller's input
 * and output, and a read leaves its value at offset 0 of the same buffer
 * for the system to copy back.  Every check below comes before the first
 * port access, so a refused request leaves the port and the extension as
 * they were.
 */
#include "lor_driver.h"

/* What the caller's input must hold: Function and Register, then Value at the access width. */
#define LOR_PORT_REQUEST_HEADER_LENGTH 8u

/* Bit 6 of the EPP address byte announces a two-byte transfer; bits 0 to 3 are the index. */
#define LOR_EPP_INDEX_MASK 0x0F
#define LOR_EPP_TWO_BYTES 0x40

/* Control register bit 5 turns the data lines around for a read. */
#define LOR_CONTROL_DIRECTION 0x20

/* The low two bits of every sub-function code give the access width: 1, 2 or 4 bytes. */
static ULONG AccessWidth(ULONG Function) {
    return 1u << (Function & 3u);
}

/* A register access of Width bytes at offset Register stays inside the port's five registers. */
static BOOLEAN RegisterAccessFits(ULONG Register, ULONG Width) {
    return Register <= LOR_REGISTER_COUNT - Width;
}

/* Offsets 0 to 2 lie at the port's base, offsets 3 and 4 at the EPP address register. */
static PUCHAR RegisterAddress(PLorDeviceExtension Extension, ULONG Register) {
    if (Register < LOR_REGISTER_EPP_ADDRESS) {
        return Extension->PortInfo.Controller + Register;
    }
    return Extension->EppPort + (Register - LOR_REGISTER_EPP_ADDRESS);
}

static UCHAR EppAddressByte(ULONG Register, ULONG Width) {
    UCHAR index = (UCHAR)(Register & LOR_EPP_INDEX_MASK);
    return Width == 2 ? (UCHAR)(index | LOR_EPP_TWO_BYTES) : index;
}

static ULONG InputLength(PIO_STACK_LOCATION Stack) {
    return Stack->Parameters.DeviceIoControl.InputBufferLength;
}

static ULONG OutputLength(PIO_STACK_LOCATION Stack) {
    return Stack->Parameters.DeviceIoControl.OutputBufferLength;
}

/* Stores a read's value at offset 0 of the system buffer and reports its width. */
static VOID ReturnValue(PIRP Irp, ULONG Width, ULONG Value) {
    PVOID buffer = Irp->AssociatedIrp.SystemBuffer;
    if (Width == 1) {
        *(PUCHAR)buffer = (UCHAR)Value;
    } else if (Width == 2) {
        *(PUSHORT)buffer = (USHORT)Value;
    } else {
        *(PULONG)buffer = Value;
    }
    Irp->IoStatus.Information = Width;
}

NTSTATUS PortRegisterRead(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                          ULONG Function) {
    ULONG width = AccessWidth(Function);
    if (OutputLength(Stack) < width) {
        return STATUS_INVALID_PARAMETER;
    }
    if (InputLength(Stack) < LOR_PORT_REQUEST_HEADER_LENGTH) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    const LorPortRequest* request = (const LorPortRequest*)Irp->AssociatedIrp.SystemBuffer;
    if (!RegisterAccessFits(request->Register, width)) {
        return STATUS_ACCESS_VIOLATION;
    }

    PUCHAR address = RegisterAddress(Extension, request->Register);
    ULONG value;
    if (width == 1) {
        value = READ_PORT_UCHAR(address);
    } else if (width == 2) {
        value = READ_PORT_USHORT((PUSHORT)address);
    } else {
        value = READ_PORT_ULONG((PULONG)address);
    }
    ReturnValue(Irp, width, value);
    return STATUS_SUCCESS;
}

NTSTATUS PortIndexedRead(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                         ULONG Function) {
    ULONG width = AccessWidth(Function);
    if (OutputLength(Stack) < width) {
        return STATUS_INVALID_PARAMETER;
    }
    if (InputLength(Stack) < LOR_PORT_REQUEST_HEADER_LENGTH) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    const LorPortRequest* request = (const LorPortRequest*)Irp->AssociatedIrp.SystemBuffer;
    PUCHAR eppData = Extension->EppPort + 1;
    PUCHAR control = Extension->PortInfo.Controller + LOR_CONTROL_OFFSET;

    WRITE_PORT_UCHAR(Extension->EppPort, EppAddressByte(request->Register, width));
    /* In mode 1 the port drives the data lines until the direction bit turns them around. */
    UCHAR savedControl = 0;
    if (Extension->DirectionMode == 1) {
        savedControl = READ_PORT_UCHAR(control);
        WRITE_PORT_UCHAR(control, (UCHAR)(savedControl | LOR_CONTROL_DIRECTION));
    }
    /* The device sends a two-byte register low byte first. */
    ULONG value = READ_PORT_UCHAR(eppData);
    if (width == 2) {
        value |= (ULONG)READ_PORT_UCHAR(eppData) << 8;
    }
    if (Extension->DirectionMode == 1) {
        WRITE_PORT_UCHAR(control, savedControl);
    }
    ReturnValue(Irp, width, value);
    return STATUS_SUCCESS;
}

NTSTATUS PortRegisterWrite(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                           ULONG Function) {
    ULONG width = AccessWidth(Function);
    if (InputLength(Stack) < LOR_PORT_REQUEST_HEADER_LENGTH + width) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    const LorPortRequest* request = (const LorPortRequest*)Irp->AssociatedIrp.SystemBuffer;
    if (!RegisterAccessFits(request->Register, width)) {
        return STATUS_ACCESS_VIOLATION;
    }

    PUCHAR address = RegisterAddress(Extension, request->Register);
    if (width == 1) {
        WRITE_PORT_UCHAR(address, request->Value.Uchar);
        /* The acquisition reads keep this nibble in the EPP address bytes they write. */
        if (request->Register == LOR_REGISTER_EPP_ADDRESS) {
            Extension->AddressHighBits = (UCHAR)(request->Value.Uchar & 0xF0);
        }
    } else if (width == 2) {
        WRITE_PORT_USHORT((PUSHORT)address, request->Value.Ushort);
    } else {
        WRITE_PORT_ULONG((PULONG)address, request->Value.Ulong);
    }
    return STATUS_SUCCESS;
}

NTSTATUS PortIndexedWrite(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                          ULONG Function) {
    ULONG width = AccessWidth(Function);
    if (InputLength(Stack) < LOR_PORT_REQUEST_HEADER_LENGTH + width) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    const LorPortRequest* request = (const LorPortRequest*)Irp->AssociatedIrp.SystemBuffer;
    PUCHAR eppData = Extension->EppPort + 1;

    WRITE_PORT_UCHAR(Extension->EppPort, EppAddressByte(request->Register, width));
    if (width == 1) {
        WRITE_PORT_UCHAR(eppData, request->Value.Uchar);
    } else {
        /* The device takes a two-byte register high byte first. */
        WRITE_PORT_UCHAR(eppData, (UCHAR)(request->Value.Ushort >> 8));
        WRITE_PORT_UCHAR(eppData, (UCHAR)request->Value.Ushort);
    }
    return STATUS_SUCCESS;
}

NTSTATUS PortSetDirectionMode(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                              ULONG Function) {
    UNREFERENCED_PARAMETER(Function);
    if (InputLength(Stack) < LOR_PORT_REQUEST_HEADER_LENGTH) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    const LorPortRequest* request = (const LorPortRequest*)Irp->AssociatedIrp.SystemBuffer;
    Extension->DirectionMode = request->Register == 1 ? 1 : 2;
    return STATUS_SUCCESS;
}

NTSTATUS PortNop(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_SUCCESS;
}

NTSTATUS PortReadPairs(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, 0, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (InputLength(Stack) < sizeof(LorReadPairsRequest)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    const LorReadPairsRequest* request =
        (const LorReadPairsRequest*)Irp->AssociatedIrp.SystemBuffer;
    ULONG first = request->FirstOffset;
    ULONG stride = request->Stride;
    ULONG count = request->NumberOfPairs;
    /* The last pair's upper byte is the highest byte written; 64 bits cannot wrap here. */
    if (count != 0) {
        ULONGLONG lastByte =
            (ULONGLONG)first + (ULONGLONG)(count - 1) * stride + LOR_PLANE_DISTANCE;
        if (lastByte >= OutputLength(Stack)) {
            return STATUS_BUFFER_TOO_SMALL;
        }
    }
    /*
     * The pair count is reported as the bytes returned.  With a stride of 0
     * the positions do not bound it: a count above the output's length would
     * report more bytes than the caller's buffer holds (and could keep the
     * port busy for billions of reads).
     */
    if (count > OutputLength(Stack)) {
        return STATUS_BUFFER_TOO_SMALL;
    }

    PUCHAR eppData = Extension->EppPort + 1;
    ULONG position = first;
    for (ULONG i = 0; i < count; ++i) {
        buffer[position] = READ_PORT_UCHAR(eppData);
        buffer[position + LOR_PLANE_DISTANCE] = READ_PORT_UCHAR(eppData);
        position += stride;
    }
    Irp->IoStatus.Information = count;
    return STATUS_SUCCESS;
}
