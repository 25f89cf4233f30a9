// A simulated PC on which the installer runs from its package directory
// C:\VEXLOR: the system it reports, the package files present, the driver
// running or not, and the user's answers to its message boxes.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver_version.h"
#include "simpc/pc.h"
#include "vexlor_ioctl.h"
#include "win32_state.h"
#include "windows.h"

extern "C" NTSTATUS NTAPI VersionStandInDriverEntry(PDRIVER_OBJECT DriverObject,
                                                    PUNICODE_STRING RegistryPath);

// Message box styles the installer uses: icon and buttons.
constexpr uint32_t kConfirmationStyle = MB_ICONINFORMATION | MB_YESNO;
constexpr uint32_t kQuestionStyle = MB_ICONINFORMATION | MB_YESNO;
constexpr uint32_t kInformationStyle = MB_ICONINFORMATION | MB_OK;
constexpr uint32_t kErrorStyle = MB_ICONERROR | MB_OK;
constexpr uint32_t kWarningQuestionStyle = MB_ICONWARNING | MB_YESNO;

constexpr const char* kFirstQuestion =
    "You are about to install VexLor driver.\r\nDo you want to continue ?";
constexpr const char* kTargetPath = "C:\\WINDOWS\\system32\\drivers\\vexlor.sys";

struct ExpectedBox {
    std::string text;
    std::string caption;
    uint32_t style;
};

inline ExpectedBox FirstQuestionBox() {
    return {kFirstQuestion, "Confirmation", kConfirmationStyle};
}
inline ExpectedBox ErrorBox(const std::string& text) {
    return {text, "Error", kErrorStyle};
}
inline ExpectedBox InformationBox(const std::string& text) {
    return {text, "Information", kInformationStyle};
}
inline ExpectedBox QuestionBox(const std::string& text) {
    return {text, "Information", kQuestionStyle};
}

inline std::string HostFileContent(const std::string& host_path) {
    std::ifstream in(host_path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class SetupTest : public ::testing::Test {
  public:
    // Files of the package directory.
    enum PackageFile : unsigned {
        kDriverFile = 1u << 0, // vexlor.sys: the driver image
        kRegini = 1u << 1,     // regini.exe
        kRegIni = 1u << 2,     // reg.ini, the real one
        kInstaller = 1u << 3,  // install.exe
        kInf = 1u << 4,        // vexlor.inf, the real one
        kWholePackage = 0x1F,
    };

  protected:
    static constexpr const char* kPackageDir = "C:\\VEXLOR";

    void SetUp() override { files().SetCurrentDirectory(kPackageDir); }

    void TearDown() override {
        EXPECT_EQ(boxes().UnusedAnswers(), 0u) << "scripted answers left";
        EXPECT_EQ(files().OpenSearches(), 0u);
        EXPECT_EQ(pc_.win32().OpenObjectHandleCount(), 0u);
        if (pc_.loader().IsLoaded("vexlor")) {
            EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
        }
        EXPECT_THAT(pc_.verifier().Findings(), ::testing::IsEmpty());
    }

    simpc::FileSystem& files() { return pc_.win32().files(); }
    simpc::MessageBoxes& boxes() { return pc_.win32().message_boxes(); }
    simpc::ProgramLauncher& programs() { return pc_.win32().programs(); }

    void UseSystem(simpc::WindowsSystem system) { pc_.win32().system_info().SetSystem(system); }

    void PlacePackage(unsigned which = kWholePackage) {
        const std::string dir = std::string(kPackageDir) + "\\";
        if (which & kDriverFile) {
            files().WriteFile(dir + "vexlor.sys", HostFileContent(VEXLOR_IMAGE));
        }
        if (which & kRegini) {
            files().WriteFile(dir + "regini.exe", "regini stand-in");
        }
        if (which & kRegIni) {
            files().WriteFile(dir + "reg.ini", HostFileContent(SETUP_SOURCE_DIR "/reg.ini"));
        }
        if (which & kInstaller) {
            files().WriteFile(dir + "install.exe", "install stand-in");
        }
        if (which & kInf) {
            files().WriteFile(dir + "vexlor.inf", HostFileContent(SETUP_SOURCE_DIR "/vexlor.inf"));
        }
    }

    // The real driver, installed and running: version 2.4.
    void RunRealDriver() {
        pc_.InstallDriver("vexlor", VEXLOR_IMAGE, 1);
        ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    }

    // A running stand-in driver that reports major.minor, or fails the query.
    void RunStandInDriver(uint32_t major, uint32_t minor, bool fail_query = false) {
        const std::string parameters = simpc::Pc::ServiceKey("vexlor") + "\\Parameters";
        pc_.registry().SetValue(parameters, "VersionMajor", simpc::RegistryValue::Dword(major));
        pc_.registry().SetValue(parameters, "VersionMinor", simpc::RegistryValue::Dword(minor));
        pc_.registry().SetValue(parameters, "FailVersionQuery",
                                simpc::RegistryValue::Dword(fail_query ? 1 : 0));
        ASSERT_EQ(pc_.loader().LoadBuiltin("vexlor", VersionStandInDriverEntry), STATUS_SUCCESS);
    }

    // Runs setup with the user's answers, then ends its process.
    void RunSetup(std::vector<int> answers) {
        boxes().Script(std::move(answers));
        EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL), 0);
        pc_.win32().CloseAll();
    }

    void ExpectBoxes(const std::vector<ExpectedBox>& expected) {
        const std::vector<simpc::MessageBoxRecord>& shown = boxes().Shown();
        ASSERT_EQ(shown.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(shown[i].text, expected[i].text) << "box " << i;
            EXPECT_EQ(shown[i].caption, expected[i].caption) << "box " << i;
            EXPECT_EQ(shown[i].style, expected[i].style) << "box " << i;
        }
    }

    std::optional<std::string> Installed() { return files().ReadFile(kTargetPath); }
    std::string DriverImage() { return HostFileContent(VEXLOR_IMAGE); }

    simpc::Pc pc_;
};
