// Windows 2000 and later: the installer hands vexlor.inf to install.exe,
// whether the driver runs or not.
#include "setup_fixture.h"

// After windows.h, whose types it uses.
#include <shellapi.h>

namespace {

using simpc::WindowsSystem;

constexpr const char* kNotFoundText = "Unable to find driver installator.";

class InfInstallerTest : public SetupTest,
                         public ::testing::WithParamInterface<std::tuple<WindowsSystem, bool>> {
  protected:
    void SetUp() override {
        SetupTest::SetUp();
        UseSystem(std::get<0>(GetParam()));
        if (std::get<1>(GetParam())) {
            RunRealDriver();
        }
    }
};

TEST_P(InfInstallerTest, StartsInstallExeWithTheQuotedInfPathAndTheSection) {
    PlacePackage();
    RunSetup({IDYES});
    ExpectBoxes({FirstQuestionBox()});
    ASSERT_EQ(programs().ShellExecutions().size(), 1u);
    const simpc::ShellExecution& run = programs().ShellExecutions()[0];
    EXPECT_FALSE(run.has_owner_window);
    EXPECT_EQ(run.verb, "open");
    EXPECT_EQ(run.file, "install.exe");
    EXPECT_EQ(run.parameters, "\"C:\\VEXLOR\\vexlor.inf\" VEXLOR");
    EXPECT_EQ(run.directory, "");
    EXPECT_EQ(run.show, SW_SHOW);
    EXPECT_GT(run.result, 32);
    EXPECT_TRUE(programs().Processes().empty());
    if (!std::get<1>(GetParam())) {
        // Copying the driver is the INF installer's job, not setup's.
        EXPECT_FALSE(files().Exists(kTargetPath));
    }
}

TEST_P(InfInstallerTest, WithoutInstallExeOrInfItCannotFindTheInstaller) {
    for (unsigned missing : {unsigned{kInstaller}, unsigned{kInf}}) {
        SCOPED_TRACE(missing);
        files().WriteFile("C:\\VEXLOR\\install.exe", "");
        files().WriteFile("C:\\VEXLOR\\vexlor.inf", "");
        std::remove(
            files().Resolve(missing == kInstaller ? "install.exe" : "vexlor.inf").host.c_str());
        boxes().Script({IDYES, IDOK});
        const size_t before = boxes().Shown().size();
        EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL), 0);
        pc_.win32().CloseAll();
        ASSERT_EQ(boxes().Shown().size(), before + 2);
        EXPECT_EQ(boxes().Shown()[before + 1].text, kNotFoundText);
        EXPECT_EQ(boxes().Shown()[before + 1].caption, "Error");
        EXPECT_EQ(boxes().Shown()[before + 1].style, kErrorStyle);
    }
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

INSTANTIATE_TEST_SUITE_P(SystemsRunningOrNot, InfInstallerTest,
                         ::testing::Combine(::testing::Values(WindowsSystem::Windows2000,
                                                              WindowsSystem::WindowsXp,
                                                              WindowsSystem::Windows7),
                                            ::testing::Bool()));

class InfInstallerEdgeTest : public SetupTest {
  protected:
    void SetUp() override {
        SetupTest::SetUp();
        UseSystem(WindowsSystem::Windows2000);
    }
};

// An installer that does not start is reported like a missing one.
TEST_F(InfInstallerEdgeTest, AnInstallerThatCannotStartIsReported) {
    PlacePackage();
    programs().FailNextShellExecute(SE_ERR_ACCESSDENIED);
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox(kNotFoundText)});
    ASSERT_EQ(programs().ShellExecutions().size(), 1u);
}

// A drive's root comes with its backslash; the INF path gets no second one.
TEST_F(InfInstallerEdgeTest, FromTheDriveRootTheInfPathHasOneBackslash) {
    files().SetCurrentDirectory("C:\\");
    PlacePackage(); // into the package directory, not the root
    files().WriteFile("C:\\install.exe", "install stand-in");
    files().WriteFile("C:\\vexlor.inf", "inf");
    RunSetup({IDYES});
    ASSERT_EQ(programs().ShellExecutions().size(), 1u);
    EXPECT_EQ(programs().ShellExecutions()[0].parameters, "\"C:\\vexlor.inf\" VEXLOR");
}

// The current directory is read into MAX_PATH characters; a longer one
// gives no INF path at all.
TEST_F(InfInstallerEdgeTest, ACurrentDirectoryBeyondMaxPathFindsNoInstaller) {
    const std::string deep =
        std::string(kPackageDir) + "\\" + std::string(120, 'a') + "\\" + std::string(140, 'b');
    ASSERT_GE(deep.size(), static_cast<size_t>(MAX_PATH));
    files().SetCurrentDirectory(deep);
    files().WriteFile("install.exe", "install stand-in");
    files().WriteFile("vexlor.inf", "inf");
    RunSetup({IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), ErrorBox(kNotFoundText)});
    EXPECT_TRUE(programs().ShellExecutions().empty());
}

} // namespace
