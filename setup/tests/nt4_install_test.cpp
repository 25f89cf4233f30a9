// NT 4 without a running driver: the installer copies the driver and
// starts regini.exe with reg.ini.
#include "regini_stand_in.h"
#include "setup_fixture.h"

namespace {

using simpc::WindowsSystem;

constexpr const char* kRestartText = "It is necessary to restart computer.";

class Nt4InstallTest : public SetupTest {
  protected:
    void SetUp() override {
        SetupTest::SetUp();
        UseSystem(WindowsSystem::WindowsNt4);
    }
};

TEST_F(Nt4InstallTest, CopiesTheDriverStartsReginiAndAsksForARestart) {
    PlacePackage();
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), InformationBox(kRestartText)});
    EXPECT_EQ(Installed(), DriverImage());
    ASSERT_EQ(programs().Processes().size(), 1u);
    const simpc::ProcessStart& regini = programs().Processes()[0];
    EXPECT_TRUE(regini.started);
    EXPECT_EQ(regini.application_name, "");
    EXPECT_EQ(regini.command_line, "regini.exe reg.ini");
    EXPECT_EQ(regini.current_directory, kPackageDir);
    EXPECT_FALSE(regini.inherit_handles);
    EXPECT_EQ(regini.creation_flags, 0u);
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

TEST_F(Nt4InstallTest, TheInstalledFilesGiveAWorkingDriverAfterRegini) {
    PlacePackage();
    RunSetup({IDYES, IDOK});
    ASSERT_EQ(programs().Processes().size(), 1u);
    EXPECT_THAT(simpc::RunRegini(programs().Processes()[0]), ::testing::IsEmpty());

    const std::string key = simpc::Pc::ServiceKey("vexlor");
    EXPECT_EQ(pc_.registry().FindValue(key, "Type")->AsDword(), 1u);
    EXPECT_EQ(pc_.registry().FindValue(key, "Start")->AsDword(), 2u);
    EXPECT_EQ(pc_.registry().FindValue(key, "ErrorControl")->AsDword(), 1u);
    EXPECT_EQ(pc_.registry().FindValue(key, "ImagePath")->type, 2u); // REG_EXPAND_SZ
    EXPECT_EQ(pc_.registry().FindValue(key, "ImagePath")->AsString(),
              "\\SystemRoot\\system32\\drivers\\vexlor.sys");
    EXPECT_EQ(pc_.registry().FindValue(key + "\\Parameters", "Lpt")->AsDword(), 1u);

    // The next start of the system loads the driver from its key.
    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    HANDLE device =
        CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    BYTE version[2] = {0, 0};
    DWORD returned = 0xFFFF;
    EXPECT_TRUE(
        DeviceIoControl(device, IOCTL_LOR_GET_VERSION, nullptr, 0, version, 2, &returned, nullptr));
    EXPECT_EQ(version[0], 2);
    EXPECT_EQ(version[1], 4);
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(CloseHandle(device));
}

TEST_F(Nt4InstallTest, OverwritesAReadOnlyEarlierCopy) {
    PlacePackage();
    files().WriteFile(kTargetPath, "earlier driver");
    files().SetReadOnly(kTargetPath, true);
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), InformationBox(kRestartText)});
    EXPECT_EQ(Installed(), DriverImage());
}

class Nt4MissingReginiPartTest : public Nt4InstallTest,
                                 public ::testing::WithParamInterface<unsigned> {};

TEST_P(Nt4MissingReginiPartTest, CopiesTheDriverThenCannotUpdateTheRegistry) {
    PlacePackage(kWholePackage & ~GetParam());
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox("Unable to update registry.")});
    EXPECT_EQ(Installed(), DriverImage());
    EXPECT_TRUE(programs().Processes().empty());
}

INSTANTIATE_TEST_SUITE_P(Missing, Nt4MissingReginiPartTest,
                         ::testing::Values(unsigned{SetupTest::kRegini},
                                           unsigned{SetupTest::kRegIni},
                                           unsigned{SetupTest::kRegini | SetupTest::kRegIni}));

TEST_F(Nt4InstallTest, ADirectoryNamedReginiIsNoProgram) {
    PlacePackage(kWholePackage & ~kRegini);
    files().SetCurrentDirectory(std::string(kPackageDir) + "\\regini.exe");
    files().SetCurrentDirectory(kPackageDir);
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox("Unable to update registry.")});
}

// Without its registry settings the copied driver never loads: a regini
// that cannot be started is reported like a missing one.
TEST_F(Nt4InstallTest, AReginiThatCannotStartIsReportedAsARegistryFailure) {
    PlacePackage();
    programs().FailNextCreateProcess();
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox("Unable to update registry.")});
    EXPECT_EQ(Installed(), DriverImage());
    ASSERT_EQ(programs().Processes().size(), 1u);
    EXPECT_FALSE(programs().Processes()[0].started);
}

TEST_F(Nt4InstallTest, ACopyFailureEndsBeforeRegini) {
    PlacePackage();
    files().FailNextCopy();
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox("Unable to copy files.")});
    EXPECT_FALSE(files().Exists(kTargetPath));
    EXPECT_TRUE(programs().Processes().empty());
}

TEST_F(Nt4InstallTest, AMissingDriverFileIsACopyFailure) {
    PlacePackage(kWholePackage & ~kDriverFile);
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox("Unable to copy files.")});
    EXPECT_TRUE(programs().Processes().empty());
}

TEST_F(Nt4InstallTest, AFailedAttributeResetIsNotLookedAt) {
    PlacePackage();
    files().WriteFile(kTargetPath, "earlier driver");
    files().FailNextSetAttributes();
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), InformationBox(kRestartText)});
    EXPECT_EQ(Installed(), DriverImage());
}

// With no Windows directory there is no target to copy to.
TEST_F(Nt4InstallTest, AnUnknownWindowsDirectoryIsACopyFailure) {
    PlacePackage();
    pc_.win32().system_info().FailNextWindowsDirectory();
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox("Unable to copy files.")});
    EXPECT_FALSE(files().Exists(kTargetPath));
    EXPECT_TRUE(programs().Processes().empty());
}

} // namespace
