/*
 * line_control.cpp - the device's select lines.
 *
 * The device is attached and detached by short line-code pulses on the
 * data and control registers.  Between an attach and a detach the control
 * register's earlier value is kept, and the detach writes it back, so the
 * port returns to the parallel-port driver's other clients as it was.
 */
#include "lor_driver.h"

/* Control register values: nInit high, with nAutoFd/nSelectIn and nStrobe asserted or not. */
#define LOR_CONTROL_IDLE 0x04
#define LOR_CONTROL_SELECT 0x0E
#define LOR_CONTROL_STROBE 0x0F

#define LOR_CODE_ATTACH 0x7F
#define LOR_CODE_ATTACH_FF 0xFF
#define LOR_CODE_DETACH 0xFE

/* The control register's value before the attach, and whether it is still to be restored. */
static UCHAR SavedControl;
static BOOLEAN ControlSaved;

/* Presents a line code on the data lines and strobes it into the device. */
static VOID SendLineCodePulse(PUCHAR Base, UCHAR Code) {
    PUCHAR control = Base + LOR_CONTROL_OFFSET;
    WRITE_PORT_UCHAR(control, LOR_CONTROL_SELECT);
    WRITE_PORT_UCHAR(Base + LOR_DATA_OFFSET, Code);
    WRITE_PORT_UCHAR(control, LOR_CONTROL_STROBE);
    KeStallExecutionProcessor(10);
    WRITE_PORT_UCHAR(control, LOR_CONTROL_SELECT);
    WRITE_PORT_UCHAR(control, LOR_CONTROL_IDLE);
}

VOID SetLOR(UCHAR Command, PUCHAR Base) {
    PUCHAR control = Base + LOR_CONTROL_OFFSET;
    switch (Command) {
        case LOR_LINES_ATTACH:
        case LOR_LINES_ATTACH_FF:
            if (!ControlSaved) {
                SavedControl = READ_PORT_UCHAR(control);
                ControlSaved = TRUE;
            } else {
                LorTrace("[SetLOR] - Warning still saved register!!!");
            }
            SendLineCodePulse(Base, Command == LOR_LINES_ATTACH ? LOR_CODE_ATTACH
                                                                : LOR_CODE_ATTACH_FF);
            break;
        case LOR_LINES_DETACH:
            if (!ControlSaved) {
                return;
            }
            SendLineCodePulse(Base, LOR_CODE_DETACH);
            WRITE_PORT_UCHAR(control, SavedControl);
            ControlSaved = FALSE;
            break;
        case LOR_LINES_IDLE:
            WRITE_PORT_UCHAR(Base + LOR_DATA_OFFSET, 0xFF);
            WRITE_PORT_UCHAR(control, LOR_CONTROL_IDLE);
            WRITE_PORT_UCHAR(Base + LOR_STATUS_OFFSET, 0xFF);
            break;
        default:
            break;
    }
}

NTSTATUS LorSetLinesRequest(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    /* The command is the first byte of the caller's input. */
    if (Stack->Parameters.DeviceIoControl.InputBufferLength < 1) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    UCHAR command = *(PUCHAR)Irp->AssociatedIrp.SystemBuffer;
    SetLOR(command, Extension->PortInfo.Controller);
    Irp->IoStatus.Information = 0;
    return STATUS_SUCCESS;
}
