// The verifier catches a driver that breaks the rules: a small built-in
// driver does one fault per request code, and each fault must show up as a
// finding that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "ntddk.h"
#include "simpc/pc.h"
#include "windows.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

enum Fault : ULONG {
    kNone = 0,
    kCompleteTwice,
    kNeverComplete,
    kReturnOtherStatus,
    kInformationTooLarge,
    kLeakPool,
    kFreePoolTwice,
};

ULONG CodeFor(Fault fault) { return CTL_CODE(0x8000, 0x800 + fault, METHOD_BUFFERED, 0); }

bool g_keep_device_at_unload = false;

NTSTATUS NTAPI FaultyDeviceControl(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG fault = ((stack->Parameters.DeviceIoControl.IoControlCode >> 2) & 0xFFF) - 0x800;
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    switch (fault) {
        case kCompleteTwice:
            IofCompleteRequest(irp, IO_NO_INCREMENT);
            IofCompleteRequest(irp, IO_NO_INCREMENT);
            return STATUS_SUCCESS;
        case kNeverComplete:
            return STATUS_SUCCESS;
        case kReturnOtherStatus:
            IofCompleteRequest(irp, IO_NO_INCREMENT);
            return STATUS_UNSUCCESSFUL;
        case kInformationTooLarge:
            irp->IoStatus.Information = stack->Parameters.DeviceIoControl.OutputBufferLength + 1;
            break;
        case kLeakPool:
            ExAllocatePoolWithTag(PagedPool, 24, 0x6B61654C);  // 'Leak'
            break;
        case kFreePoolTwice: {
            PVOID block = ExAllocatePoolWithTag(PagedPool, 8, 0x65657246);
            ExFreePool(block);
            ExFreePool(block);
            break;
        }
        default:
            break;
    }
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PassThrough(PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_SUCCESS;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

VOID NTAPI FaultyUnload(PDRIVER_OBJECT driver) {
    if (g_keep_device_at_unload) {
        return;
    }
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, L"\\DosDevices\\Faulty");
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI FaultyEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    RtlInitUnicodeString(&name, L"\\Device\\Faulty");
    RtlInitUnicodeString(&link, L"\\DosDevices\\Faulty");
    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    IoCreateSymbolicLink(&link, &name);
    driver->MajorFunction[IRP_MJ_CREATE] = PassThrough;
    driver->MajorFunction[IRP_MJ_CLOSE] = PassThrough;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = FaultyDeviceControl;
    driver->DriverUnload = FaultyUnload;
    return STATUS_SUCCESS;
}

struct FaultCase {
    const char* name;
    Fault fault;
    const char* finding;  // part of the message that names the fault
};

class VerifierTest : public ::testing::TestWithParam<FaultCase> {
  protected:
    void SetUp() override {
        g_keep_device_at_unload = false;
        ASSERT_EQ(pc_.loader().LoadBuiltin("faulty", FaultyEntry), STATUS_SUCCESS);
        handle_ = CreateFileA("\\\\.\\Faulty", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    simpc::Pc pc_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_P(VerifierTest, NamesTheFault) {
    uint8_t buffer[4] = {};
    DWORD bytes = 0;
    DeviceIoControl(handle_, CodeFor(GetParam().fault), buffer, sizeof(buffer), buffer,
                    sizeof(buffer), &bytes, nullptr);
    CloseHandle(handle_);
    EXPECT_EQ(pc_.UnloadDriver("faulty"), STATUS_SUCCESS);
    EXPECT_THAT(pc_.verifier().Findings(), ElementsAre(HasSubstr(GetParam().finding)));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, VerifierTest,
    ::testing::Values(FaultCase{"CompletedTwice", kCompleteTwice, "completed twice"},
                      FaultCase{"NeverCompleted", kNeverComplete, "without completing"},
                      FaultCase{"OtherStatusReturned", kReturnOtherStatus,
                                "returned 0xC0000001 but completed the request with 0x0"},
                      FaultCase{"InformationTooLarge", kInformationTooLarge,
                                "Information 5 above its output length 4"},
                      FaultCase{"PoolLeaked", kLeakPool,
                                "24 bytes, tag 'Leak', still allocated when driver faulty unloaded"},
                      FaultCase{"PoolFreedTwice", kFreePoolTwice, "freed twice"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(VerifierTest, CleanRequestLeavesNoFinding) {
    uint8_t buffer[4] = {};
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(handle_, CodeFor(kNone), buffer, sizeof(buffer), buffer,
                                sizeof(buffer), &bytes, nullptr));
    CloseHandle(handle_);
    EXPECT_EQ(pc_.UnloadDriver("faulty"), STATUS_SUCCESS);
    EXPECT_THAT(pc_.verifier().Findings(), IsEmpty());
}

TEST_F(VerifierTest, DeviceLeftAtUnloadIsAFinding) {
    CloseHandle(handle_);
    g_keep_device_at_unload = true;
    EXPECT_EQ(pc_.UnloadDriver("faulty"), STATUS_SUCCESS);
    EXPECT_THAT(pc_.verifier().Findings(),
                ElementsAre(HasSubstr("unloaded without deleting its device \\Device\\Faulty")));
}

}  // namespace
