/*
 * eeprom.cpp - the device's three-wire serial EEPROM.
 */
#include "lor_driver.h"

NTSTATUS LorReadEepromRequest(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

