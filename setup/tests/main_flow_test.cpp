// The start of the installer: the first question and the systems it
// refuses.
#include "setup_fixture.h"

namespace {

using simpc::WindowsSystem;

class FirstQuestionTest : public SetupTest, public ::testing::WithParamInterface<WindowsSystem> {};

TEST_P(FirstQuestionTest, NoEndsTheProgramWithoutTouchingAnything) {
    UseSystem(GetParam());
    PlacePackage();
    RunSetup({IDNO});
    ExpectBoxes({FirstQuestionBox()});
    EXPECT_FALSE(files().Exists(kTargetPath));
    EXPECT_TRUE(programs().Processes().empty());
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

TEST_P(FirstQuestionTest, NoLeavesARunningDriverAlone) {
    UseSystem(GetParam());
    PlacePackage();
    RunStandInDriver(2, 3);
    files().WriteFile(kTargetPath, "installed driver");
    RunSetup({IDNO});
    ExpectBoxes({FirstQuestionBox()});
    EXPECT_EQ(Installed(), "installed driver");
    EXPECT_TRUE(programs().Processes().empty());
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

INSTANTIATE_TEST_SUITE_P(Systems, FirstQuestionTest,
                         ::testing::Values(WindowsSystem::Windows95, WindowsSystem::WindowsNt4,
                                           WindowsSystem::Windows2000, WindowsSystem::Windows7));

class Windows95FamilyTest : public SetupTest,
                            public ::testing::WithParamInterface<WindowsSystem> {};

TEST_P(Windows95FamilyTest, IsRefusedAfterTheFirstQuestion) {
    UseSystem(GetParam());
    PlacePackage();
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(),
                 ErrorBox("It is not necessary to install this driver under this operating "
                          "system.")});
    EXPECT_FALSE(files().Exists(kTargetPath));
    EXPECT_TRUE(programs().Processes().empty());
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

INSTANTIATE_TEST_SUITE_P(Systems, Windows95FamilyTest,
                         ::testing::Values(WindowsSystem::Windows95, WindowsSystem::Windows98));

TEST_F(SetupTest, AnUnscriptedBoxIsAFinding) {
    UseSystem(WindowsSystem::Windows95);
    RunSetup({IDYES});
    EXPECT_THAT(pc_.verifier().TakeFindings(),
                ::testing::ElementsAre(::testing::HasSubstr("message box not in the script")));
}

} // namespace
