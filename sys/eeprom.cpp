/*
 * eeprom.cpp - the device's three-wire serial EEPROM.
 *
 * The EEPROM's lines hang on the EPP data register: a byte written there
 * sets chip select, clock and data in; bit 1 of a byte read back is its data
 * out.  A word is read with the Microwire READ instruction, clocked by hand.
 */
#include "lor_driver.h"

/* Line bits of a byte written to the EPP data register. */
#define EEPROM_DI 0x01
#define EEPROM_CS 0x04
#define EEPROM_SK 0x20
/* Line bit of a byte read from the EPP data register. */
#define EEPROM_DO 0x02

/* Start bit 1 and the READ opcode 10 ahead of the six address bits. */
#define EEPROM_READ_INSTRUCTION 0x180
#define EEPROM_ADDRESS_MASK 0x3F
#define EEPROM_INSTRUCTION_BITS 9
#define EEPROM_WORD_BITS 16

/* Microseconds each line state is held. */
#define EEPROM_SELECT_SETUP_US 20
#define EEPROM_HALF_CLOCK_US 2

static VOID ReadEepromWord(USHORT Address, PUCHAR Port, PUSHORT Result) {
    WRITE_PORT_UCHAR(Port, EEPROM_CS | EEPROM_DI);
    KeStallExecutionProcessor(EEPROM_SELECT_SETUP_US);

    /* DI is set up while SK is low and held through the clock pulse. */
    ULONG instruction = EEPROM_READ_INSTRUCTION | (Address & EEPROM_ADDRESS_MASK);
    for (int bit = EEPROM_INSTRUCTION_BITS - 1; bit >= 0; --bit) {
        UCHAR di = (UCHAR)((instruction >> bit) & EEPROM_DI);
        WRITE_PORT_UCHAR(Port, (UCHAR)(EEPROM_CS | di));
        KeStallExecutionProcessor(EEPROM_HALF_CLOCK_US);
        WRITE_PORT_UCHAR(Port, (UCHAR)(EEPROM_CS | EEPROM_SK | di));
        KeStallExecutionProcessor(EEPROM_HALF_CLOCK_US);
        WRITE_PORT_UCHAR(Port, (UCHAR)(EEPROM_CS | di));
        KeStallExecutionProcessor(EEPROM_HALF_CLOCK_US);
    }

    /* Each rising SK edge puts the next data bit on DO, most significant first. */
    USHORT word = 0;
    for (int bit = 0; bit < EEPROM_WORD_BITS; ++bit) {
        WRITE_PORT_UCHAR(Port, EEPROM_CS | EEPROM_SK);
        KeStallExecutionProcessor(EEPROM_HALF_CLOCK_US);
        WRITE_PORT_UCHAR(Port, EEPROM_CS);
        KeStallExecutionProcessor(EEPROM_HALF_CLOCK_US);
        UCHAR lines = READ_PORT_UCHAR(Port);
        word = (USHORT)((word << 1) | ((lines & EEPROM_DO) ? 1 : 0));
    }

    WRITE_PORT_UCHAR(Port, 0);
    KeStallExecutionProcessor(EEPROM_HALF_CLOCK_US);
    *Result = word;
}

NTSTATUS LorReadEepromRequest(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    /* The word address comes in, and the word goes back, in the first two bytes. */
    if (Stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(USHORT) ||
        Stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(USHORT)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    PUSHORT buffer = (PUSHORT)Irp->AssociatedIrp.SystemBuffer;
    USHORT word;
    ReadEepromWord(*buffer, Extension->EppPort + 1, &word);
    *buffer = word;
    Irp->IoStatus.Information = sizeof(USHORT);
    return STATUS_SUCCESS;
}
