/*
 * arbitration.cpp - sharing the port with the system parallel-port driver.
 */
#include "lor_driver.h"

BOOLEAN LendPortToWaiters(PDEVICE_OBJECT DeviceObject, PIRP Irp, NTSTATUS* Status) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(Irp);
    *Status = STATUS_SUCCESS;
    return FALSE;
}
