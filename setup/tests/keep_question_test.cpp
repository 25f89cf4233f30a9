// A running driver's version decides whether the installer asks to keep it.
#include "setup_fixture.h"

namespace {

using simpc::WindowsSystem;

std::string KeepQuestion(const std::string& running) {
    return "ENG: Driver in computer (" + running +
           ") seems to be newer than one being installed (2.4). Do you want to keep current "
           "driver ?\r\n\r\n";
}

struct NewerCase {
    uint32_t major;
    uint32_t minor;
    const char* text;
};

class NewerDriverTest : public SetupTest,
                        public ::testing::WithParamInterface<std::tuple<NewerCase, WindowsSystem>> {
  protected:
    void SetUp() override {
        SetupTest::SetUp();
        UseSystem(std::get<1>(GetParam()));
        PlacePackage();
        const NewerCase& c = std::get<0>(GetParam());
        RunStandInDriver(c.major, c.minor);
        files().WriteFile(kTargetPath, "newer driver");
    }
    ExpectedBox KeepBox() {
        return {KeepQuestion(std::get<0>(GetParam()).text), "Warning", kWarningQuestionStyle};
    }
    bool OnNt4() { return std::get<1>(GetParam()) == WindowsSystem::WindowsNt4; }
};

TEST_P(NewerDriverTest, YesKeepsTheRunningDriver) {
    RunSetup({IDYES, IDYES});
    ExpectBoxes({FirstQuestionBox(), KeepBox()});
    EXPECT_EQ(Installed(), "newer driver");
    EXPECT_TRUE(programs().Processes().empty());
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

TEST_P(NewerDriverTest, NoGoesOnWithTheInstallation) {
    if (OnNt4()) {
        RunSetup({IDYES, IDNO, IDYES, IDOK});
        ExpectBoxes({FirstQuestionBox(), KeepBox(),
                     QuestionBox("Driver is already installed in your computer. Do you want to "
                                 "replace it ?"),
                     InformationBox("Driver updated sucessfully. It is necessary to restart "
                                    "computer.")});
        EXPECT_EQ(Installed(), DriverImage());
    } else {
        RunSetup({IDYES, IDNO});
        ExpectBoxes({FirstQuestionBox(), KeepBox()});
        EXPECT_EQ(programs().ShellExecutions().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, NewerDriverTest,
    ::testing::Combine(::testing::Values(NewerCase{2, 5, "2.5"}, NewerCase{3, 0, "3.0"},
                                         NewerCase{3, 1, "3.1"}, NewerCase{2, 255, "2.255"},
                                         // Compared unsigned: 255 is the largest major.
                                         NewerCase{255, 0, "255.0"}),
                       ::testing::Values(WindowsSystem::WindowsNt4, WindowsSystem::Windows2000)));

enum class Running { RealDriver, StandIn23, StandIn19, FailingQuery };

class NotNewerDriverTest
    : public SetupTest,
      public ::testing::WithParamInterface<std::tuple<Running, WindowsSystem>> {
  protected:
    void SetUp() override {
        SetupTest::SetUp();
        UseSystem(std::get<1>(GetParam()));
        PlacePackage();
        switch (std::get<0>(GetParam())) {
            case Running::RealDriver:
                RunRealDriver();
                break;
            case Running::StandIn23:
                RunStandInDriver(2, 3);
                break;
            case Running::StandIn19:
                RunStandInDriver(1, 9);
                break;
            case Running::FailingQuery:
                // Counts as 1.0, which is never newer.
                RunStandInDriver(9, 9, /*fail_query=*/true);
                break;
        }
        files().WriteFile(kTargetPath, "older driver");
    }
};

TEST_P(NotNewerDriverTest, AsksNothingAndInstalls) {
    if (std::get<1>(GetParam()) == WindowsSystem::WindowsNt4) {
        RunSetup({IDYES, IDYES, IDOK});
        ExpectBoxes({FirstQuestionBox(),
                     QuestionBox("Driver is already installed in your computer. Do you want to "
                                 "replace it ?"),
                     InformationBox("Driver updated sucessfully. It is necessary to restart "
                                    "computer.")});
        EXPECT_EQ(Installed(), DriverImage());
    } else {
        RunSetup({IDYES});
        ExpectBoxes({FirstQuestionBox()});
        EXPECT_EQ(programs().ShellExecutions().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, NotNewerDriverTest,
    ::testing::Combine(::testing::Values(Running::RealDriver, Running::StandIn23,
                                         Running::StandIn19, Running::FailingQuery),
                       ::testing::Values(WindowsSystem::WindowsNt4, WindowsSystem::Windows2000)));

TEST_F(SetupTest, TheVersionQueryReadsTheReplyBytes) {
    RunStandInDriver(3, 1);
    HANDLE device = CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryDriverVersion(device), MakeDriverVersion(3, 1));
    EXPECT_TRUE(CloseHandle(device));
}

TEST_F(SetupTest, AFailedVersionQueryCountsAsOnePointZero) {
    RunStandInDriver(3, 1, /*fail_query=*/true);
    HANDLE device = CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryDriverVersion(device), MakeDriverVersion(1, 0));
    EXPECT_TRUE(CloseHandle(device));
}

} // namespace
