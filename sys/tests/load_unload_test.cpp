// Load and unload of the driver: the device, its link, the extension's
// first values, the traces, and what the unload gives back.
#include "driver_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kServiceKey[] = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vexlor";

class LoadUnloadTest : public DriverTest {};

TEST_F(LoadUnloadTest, LoadCreatesDeviceAndLinkWithTheirTraces) {
    Load(1);

    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("[W2000+] DriverEntry < 1 > Reading LPT from Registry -: 1\n",
                            "[W2000+] DriverEntry < 2 > Init Dispatch Table.\n",
                            "DriverEntry < 4 > Creating DEVICE...",
                            "[GpdCreateDevice] - IoCreteDevice", "OK\n",
                            "[GpdCreateDevice] - IoCreateSymbolicLink( \\DosDevices\\Vexlor, "
                            "\\Device\\Vexlor0 ):",
                            "OK\n", "OK\n"));

    PDEVICE_OBJECT device = Device();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->DeviceType, 41000u);
    EXPECT_EQ(device->Characteristics, 0u);
    EXPECT_EQ(device->Flags & (DO_BUFFERED_IO | DO_DIRECT_IO | DO_EXCLUSIVE), 0u);
    EXPECT_EQ(device->StackSize, 1);
    EXPECT_EQ(pc_.objects().LinkTarget("\\DosDevices\\Vexlor"), "\\Device\\Vexlor0");

    PDRIVER_OBJECT driver = pc_.loader().DriverObjectOf("vexlor");
    ASSERT_NE(driver, nullptr);
    EXPECT_NE(driver->DriverUnload, nullptr);
    EXPECT_EQ(driver->DriverStartIo, nullptr);
    EXPECT_EQ(driver->FastIoDispatch, nullptr);
    // Only create, close and device control are the driver's own.
    const PDRIVER_DISPATCH system_default = driver->MajorFunction[IRP_MJ_READ];
    for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
        const bool own = major == IRP_MJ_CREATE || major == IRP_MJ_CLOSE ||
                         major == IRP_MJ_DEVICE_CONTROL;
        EXPECT_EQ(driver->MajorFunction[major] != system_default, own) << "major " << major;
    }
}

TEST_F(LoadUnloadTest, ExtensionStartsWithItsInitialValuesAndZeroElsewhere) {
    Load(3);
    const LorDeviceExtension* extension = Extension();
    ASSERT_NE(extension, nullptr);

    LorDeviceExtension expected;
    std::memset(&expected, 0, sizeof(expected));
    expected.DirectionMode = 2;
    expected.DeviceObject = Device();
    expected.LptNumber = 3;
    // Compared field by field so that padding does not matter.
    EXPECT_EQ(extension->ParportAccess, FALSE);
    EXPECT_EQ(extension->AllocatedByTry, FALSE);
    EXPECT_EQ(extension->Lending, FALSE);
    EXPECT_EQ(extension->PortAllocated, FALSE);
    EXPECT_EQ(extension->UserCount, 0);
    EXPECT_EQ(extension->DirectionMode, 2);
    EXPECT_EQ(extension->EppPort, nullptr);
    EXPECT_EQ(extension->DeviceObject, Device());
    EXPECT_EQ(extension->AddressHighBits, 0);
    EXPECT_EQ(std::memcmp(&extension->PortInfo, &expected.PortInfo, sizeof(expected.PortInfo)), 0);
    EXPECT_EQ(extension->PortDeviceObject, nullptr);
    EXPECT_EQ(extension->PortFileObject, nullptr);
    EXPECT_EQ(extension->LptNumber, 3u);
}

TEST_F(LoadUnloadTest, OnlyPoolUseIsTheParametersPathFreedAgain) {
    Load(1);
    const std::vector<simpc::PoolAllocation>& pool = pc_.pool().History();
    ASSERT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool[0].pool_type, PagedPool);
    EXPECT_EQ(simpc::Pool::TagText(pool[0].tag), "Ddk ");
    // The service key path in UTF-16, then "\Parameters" and its NUL.
    EXPECT_EQ(pool[0].size, (sizeof(kServiceKey) - 1) * 2 + 24);
    EXPECT_TRUE(pool[0].freed);
}

TEST_F(LoadUnloadTest, TakenLinkNameLoadsWithoutDeviceOrLink) {
    ASSERT_EQ(pc_.objects().CreateLink("\\DosDevices\\Vexlor", "\\Device\\Somebody"),
              STATUS_SUCCESS);
    Load(1);

    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre(::testing::_, ::testing::_, "DriverEntry < 4 > Creating DEVICE...",
                            "[GpdCreateDevice] - IoCreteDevice", "OK\n", ::testing::_,
                            "ERROR\n", "ERROR\n"));
    EXPECT_TRUE(pc_.loader().IsLoaded("vexlor"));
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\Vexlor0"));
    EXPECT_EQ(pc_.objects().LinkTarget("\\DosDevices\\Vexlor"), "\\Device\\Somebody");
    EXPECT_EQ(pc_.loader().DriverObjectOf("vexlor")->DeviceObject, nullptr);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // The unload of a driver without a device touches no device.
    pc_.ClearDriverTraces();
    EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAre("[Unload] - Start\n", "[Unload] - End\n"));
    EXPECT_THAT(pc_.io().ResourceReports(), IsEmpty());
    EXPECT_EQ(pc_.objects().LinkTarget("\\DosDevices\\Vexlor"), "\\Device\\Somebody");
}

TEST_F(LoadUnloadTest, FailedDeviceCreationLoadsWithoutDevice) {
    pc_.faults().FailNext(simpc::FaultPoint::CreateDevice);
    Load(1);
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre(::testing::_, ::testing::_, "DriverEntry < 4 > Creating DEVICE...",
                            "[GpdCreateDevice] - IoCreteDevice", "ERROR\n", "ERROR\n"));
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\Vexlor0"));
    EXPECT_FALSE(pc_.objects().LinkExists("\\DosDevices\\Vexlor"));
}

TEST_F(LoadUnloadTest, UnloadWithoutHeldPortRemovesDeviceAndLink) {
    Load(1);
    PDEVICE_OBJECT device = Device();
    pc_.ClearDriverTraces();

    ASSERT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAre("[Unload] - Start\n", "[Unload] - End\n"));
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\Vexlor0"));
    EXPECT_FALSE(pc_.objects().LinkExists("\\DosDevices\\Vexlor"));
    // The device reported that it claims no resources.
    ASSERT_EQ(pc_.io().ResourceReports().size(), 1u);
    EXPECT_EQ(pc_.io().ResourceReports()[0].device, device);
    EXPECT_EQ(pc_.io().ResourceReports()[0].device_list_count, 0u);
    EXPECT_EQ(pc_.io().ResourceReports()[0].device_list_size, 4u);
    EXPECT_THAT(BusTrace(), IsEmpty());
    EXPECT_FALSE(pc_.loader().LastUnloadedImageStillMapped());
}

// Stands in for the parallel-port driver's FreePort routine.
int g_free_port_calls = 0;
PVOID g_free_port_context = nullptr;
VOID NTAPI CountingFreePort(PVOID context) {
    ++g_free_port_calls;
    g_free_port_context = context;
}

TEST_F(LoadUnloadTest, UnloadGivesBackAHeldPortThroughFreePortOnce) {
    Load(1);
    // As an open that acquired the port would have left the extension.
    LorDeviceExtension* extension = Extension();
    int context_object = 0;
    extension->ParportAccess = TRUE;
    extension->PortAllocated = TRUE;
    extension->AllocatedByTry = TRUE;
    extension->UserCount = 1;
    extension->PortInfo.FreePort = CountingFreePort;
    extension->PortInfo.Context = &context_object;
    g_free_port_calls = 0;
    pc_.ClearDriverTraces();

    ASSERT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_EQ(g_free_port_calls, 1);
    EXPECT_EQ(g_free_port_context, &context_object);
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("[Unload] - Start\n",
                            "[Unload] - Mali sme mapovany port - uvolnili sme ho\n",
                            "[Unload] - End\n"));
    // The lines are not restored at unload: no port access.
    EXPECT_THAT(BusTrace(), IsEmpty());
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\Vexlor0"));
}

TEST_F(LoadUnloadTest, EachLoadStartsFromAFreshImage) {
    Load(2);
    ASSERT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_FALSE(pc_.loader().LastUnloadedImageStillMapped());
    pc_.ClearDriverTraces();

    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_EQ(pc_.DriverTraces().front(),
              "[W2000+] DriverEntry < 1 > Reading LPT from Registry -: 2\n");
    EXPECT_TRUE(pc_.objects().DeviceExists("\\Device\\Vexlor0"));
}

TEST_F(LoadUnloadTest, UnloadWaitsUntilNoHandleIsOpen) {
    Load(1);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_DEVICE_BUSY);
    EXPECT_TRUE(pc_.objects().DeviceExists("\\Device\\Vexlor0"));
    Close(handle);
    EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
}

}  // namespace
