// NT 4 with the driver running (the real driver, version 2.4, so no keep
// question): the installer replaces the driver file or puts back a missing
// one.
#include "setup_fixture.h"

namespace {

using simpc::WindowsSystem;

constexpr const char* kReplaceQuestion =
    "Driver is already installed in your computer. Do you want to replace it ?";
constexpr const char* kMissingQuestion =
    "The vexlor.sys seems to be missing. Do you want installer to fix this problem ?";
constexpr const char* kUpdatedText =
    "Driver updated sucessfully. It is necessary to restart computer.";
constexpr const char* kUpdateFailedText = "Unable to update driver.";

class Nt4UpdateTest : public SetupTest {
  protected:
    void SetUp() override {
        SetupTest::SetUp();
        UseSystem(WindowsSystem::WindowsNt4);
        RunRealDriver();
        // The installed file is an older one, read-only.
        files().WriteFile(kTargetPath, "older driver");
        files().SetReadOnly(kTargetPath, true);
    }

    void RemoveInstalledFile() {
        files().SetReadOnly(kTargetPath, false);
        std::remove(files().Resolve(kTargetPath).host.c_str());
    }

    void ExpectNoOutsideProgram() {
        EXPECT_TRUE(programs().Processes().empty());
        EXPECT_TRUE(programs().ShellExecutions().empty());
    }
};

TEST_F(Nt4UpdateTest, YesReplacesTheInstalledFile) {
    PlacePackage();
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kReplaceQuestion), InformationBox(kUpdatedText)});
    EXPECT_EQ(Installed(), DriverImage());
    ExpectNoOutsideProgram();
}

TEST_F(Nt4UpdateTest, NoKeepsTheInstalledFile) {
    PlacePackage();
    RunSetup({IDYES, IDNO});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kReplaceQuestion)});
    EXPECT_EQ(Installed(), "older driver");
    EXPECT_TRUE(files().IsReadOnly(kTargetPath));
    ExpectNoOutsideProgram();
}

TEST_F(Nt4UpdateTest, AnAttributeFailureIsAnUpdateFailure) {
    PlacePackage();
    files().FailNextSetAttributes();
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kReplaceQuestion), ErrorBox(kUpdateFailedText)});
    EXPECT_EQ(Installed(), "older driver");
}

TEST_F(Nt4UpdateTest, ACopyFailureIsAnUpdateFailure) {
    PlacePackage();
    files().FailNextCopy();
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kReplaceQuestion), ErrorBox(kUpdateFailedText)});
    EXPECT_EQ(Installed(), "older driver");
}

TEST_F(Nt4UpdateTest, YesPutsBackAMissingFile) {
    PlacePackage();
    RemoveInstalledFile();
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kMissingQuestion), InformationBox(kUpdatedText)});
    EXPECT_EQ(Installed(), DriverImage());
    ExpectNoOutsideProgram();
}

TEST_F(Nt4UpdateTest, NoLeavesTheFileMissing) {
    PlacePackage();
    RemoveInstalledFile();
    RunSetup({IDYES, IDNO});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kMissingQuestion)});
    EXPECT_FALSE(files().Exists(kTargetPath));
}

TEST_F(Nt4UpdateTest, PuttingBackTouchesNoAttributes) {
    PlacePackage();
    RemoveInstalledFile();
    // An attribute fault would fail an attribute call; the repair makes none.
    files().FailNextSetAttributes();
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kMissingQuestion), InformationBox(kUpdatedText)});
    EXPECT_TRUE(files().TakeAttributesFault().has_value());
}

TEST_F(Nt4UpdateTest, AFailedRepairIsAnUpdateFailure) {
    PlacePackage();
    RemoveInstalledFile();
    files().FailNextCopy();
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kMissingQuestion), ErrorBox(kUpdateFailedText)});
    EXPECT_FALSE(files().Exists(kTargetPath));
}

TEST_F(Nt4UpdateTest, WithoutADriverFileBesideItEndsSilently) {
    PlacePackage(kWholePackage & ~kDriverFile);
    RunSetup({IDYES});
    ExpectBoxes({FirstQuestionBox()});
    EXPECT_EQ(Installed(), "older driver");
    ExpectNoOutsideProgram();
}

TEST_F(Nt4UpdateTest, FindsTheFilesWhateverTheirCase) {
    files().WriteFile(std::string(kPackageDir) + "\\VEXLOR.SYS", DriverImage());
    RunSetup({IDYES, IDYES, IDOK});
    ExpectBoxes({FirstQuestionBox(), QuestionBox(kReplaceQuestion), InformationBox(kUpdatedText)});
    EXPECT_EQ(Installed(), DriverImage());
}

} // namespace
