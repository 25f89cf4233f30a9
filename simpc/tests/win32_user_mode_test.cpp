// The user-mode calls of the simulated PC that installers make: files on
// drive C:, the system's version and directories, message boxes, started
// programs, and the regini stand-in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include <shellapi.h>

#include "regini_stand_in.h"
#include "simpc/pc.h"
#include "win32_state.h"
#include "windows.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class Win32UserModeTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_THAT(pc_.verifier().Findings(), IsEmpty()); }
    simpc::FileSystem& files() { return pc_.win32().files(); }
    DWORD Error() { return GetLastError(); }
    simpc::Pc pc_;
};

struct PathCase {
    const char* current;
    const char* path;
    const char* host_below_drive; // "" for an error
};

class PathRulesTest : public Win32UserModeTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathRulesTest, ResolvesAsWindowsDoes) {
    files().WriteFile("C:\\Pkg\\Sub\\File.TXT", "x");
    files().SetCurrentDirectory(GetParam().current);
    const simpc::ResolvedPath resolved = files().Resolve(GetParam().path);
    if (*GetParam().host_below_drive == '\0') {
        EXPECT_NE(resolved.error, 0u);
    } else {
        ASSERT_EQ(resolved.error, 0u);
        EXPECT_EQ(resolved.host, pc_.SystemDrive() + GetParam().host_below_drive);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathRulesTest,
    ::testing::Values(PathCase{"C:\\", "c:\\pkg\\sub\\file.txt", "/Pkg/Sub/File.TXT"},
                      PathCase{"C:\\PKG", "sub\\FILE.txt", "/Pkg/Sub/File.TXT"},
                      PathCase{"C:\\pkg\\sub", "..\\Sub\\.\\file.txt", "/Pkg/Sub/File.TXT"},
                      PathCase{"C:\\pkg\\sub", "\\pkg/sub/file.txt", "/Pkg/Sub/File.TXT"},
                      PathCase{"C:\\pkg", "C:sub\\new.txt", "/Pkg/Sub/new.txt"},
                      PathCase{"C:\\", "..\\..\\pkg", "/Pkg"}, PathCase{"C:\\", "D:\\pkg", ""},
                      PathCase{"C:\\", "\\\\server\\share", ""},
                      PathCase{"C:\\", "C:\\pkg\\a|b", ""}, PathCase{"C:\\", "C:\\pk*", ""}));

TEST_F(Win32UserModeTest, CopyFileCopiesAndKeepsTheSourceAttributes) {
    files().WriteFile("C:\\src\\a.sys", "image");
    files().SetReadOnly("C:\\src\\a.sys", true);
    ASSERT_TRUE(CopyFileA("C:\\SRC\\A.SYS", "C:\\src\\b.sys", FALSE));
    EXPECT_EQ(files().ReadFile("C:\\src\\b.sys"), "image");
    EXPECT_TRUE(files().IsReadOnly("C:\\src\\b.sys"));
}

TEST_F(Win32UserModeTest, CopyFileRefusesReadOnlyTargetsUntilTheAttributeIsCleared) {
    files().WriteFile("C:\\new.sys", "new");
    files().WriteFile("C:\\old.sys", "old");
    files().SetReadOnly("C:\\old.sys", true);
    EXPECT_FALSE(CopyFileA("C:\\new.sys", "C:\\old.sys", FALSE));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(files().ReadFile("C:\\old.sys"), "old");
    ASSERT_TRUE(SetFileAttributesA("C:\\old.sys", FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(files().IsReadOnly("C:\\old.sys"));
    EXPECT_TRUE(CopyFileA("C:\\new.sys", "C:\\old.sys", FALSE));
    EXPECT_EQ(files().ReadFile("C:\\old.sys"), "new");
}

struct CopyErrorCase {
    const char* source;
    const char* target;
    BOOL fail_if_exists;
    DWORD error;
};

class CopyErrorTest : public Win32UserModeTest,
                      public ::testing::WithParamInterface<CopyErrorCase> {};

TEST_P(CopyErrorTest, FailsWithTheWindowsError) {
    files().WriteFile("C:\\a.sys", "a");
    files().WriteFile("C:\\b.sys", "b");
    files().SetCurrentDirectory("C:\\dir");
    EXPECT_FALSE(CopyFileA(GetParam().source, GetParam().target, GetParam().fail_if_exists));
    EXPECT_EQ(Error(), GetParam().error);
    EXPECT_EQ(files().ReadFile("C:\\b.sys"), "b");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CopyErrorTest,
    ::testing::Values(CopyErrorCase{"C:\\missing.sys", "C:\\c.sys", FALSE, ERROR_FILE_NOT_FOUND},
                      CopyErrorCase{"C:\\a.sys", "C:\\nodir\\c.sys", FALSE, ERROR_PATH_NOT_FOUND},
                      CopyErrorCase{"C:\\a.sys", "C:\\b.sys", TRUE, ERROR_FILE_EXISTS},
                      CopyErrorCase{"C:\\a.sys", "C:\\dir", FALSE, ERROR_ACCESS_DENIED},
                      CopyErrorCase{"C:\\dir", "C:\\c.sys", FALSE, ERROR_ACCESS_DENIED},
                      CopyErrorCase{"C:\\b.sys", "c:\\B.SYS", FALSE, ERROR_SHARING_VIOLATION}));

TEST_F(Win32UserModeTest, InjectedFaultsFailOnceAndChangeNothing) {
    files().WriteFile("C:\\a.sys", "a");
    files().FailNextCopy(ERROR_HANDLE_DISK_FULL);
    EXPECT_FALSE(CopyFileA("C:\\a.sys", "C:\\b.sys", FALSE));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_HANDLE_DISK_FULL));
    EXPECT_FALSE(files().Exists("C:\\b.sys"));
    EXPECT_TRUE(CopyFileA("C:\\a.sys", "C:\\b.sys", FALSE));

    files().SetReadOnly("C:\\a.sys", true);
    files().FailNextSetAttributes();
    EXPECT_FALSE(SetFileAttributesA("C:\\a.sys", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(files().IsReadOnly("C:\\a.sys"));
    EXPECT_TRUE(SetFileAttributesA("C:\\a.sys", FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(SetFileAttributesA("C:\\none.sys", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32UserModeTest, FindFirstFileFindsFilesAndDirectoriesWhateverTheirCase) {
    files().WriteFile("C:\\pkg\\Vexlor.SYS", "12345");
    files().SetCurrentDirectory("C:\\pkg");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("vexlor.sys", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "Vexlor.SYS");
    EXPECT_EQ(found.nFileSizeLow, 5u);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(files().OpenSearches(), 1u);
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(files().OpenSearches(), 0u);
    EXPECT_FALSE(FindClose(search));

    search = FindFirstFileA("C:\\PKG", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(search);

    search = FindFirstFileA("*.s?s", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "Vexlor.SYS");
    FindClose(search);

    EXPECT_EQ(FindFirstFileA("regini.exe", &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileA("C:\\none\\regini.exe", &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Win32UserModeTest, DirectoriesAnswerTheirSizeThenTheirText) {
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 11u);
    char text[11];
    EXPECT_EQ(GetWindowsDirectoryA(text, 10), 11u);
    EXPECT_EQ(GetWindowsDirectoryA(text, 11), 10u);
    EXPECT_STREQ(text, "C:\\WINDOWS");

    files().SetCurrentDirectory("c:\\windows\\System32");
    char dir[MAX_PATH];
    EXPECT_EQ(GetCurrentDirectoryA(5, dir), 20u);
    EXPECT_EQ(GetCurrentDirectoryA(MAX_PATH, dir), 19u);
    EXPECT_STREQ(dir, "C:\\WINDOWS\\system32");
}

struct SystemCase {
    simpc::WindowsSystem system;
    DWORD platform;
    DWORD major;
    DWORD minor;
};

class VersionTest : public Win32UserModeTest, public ::testing::WithParamInterface<SystemCase> {};

TEST_P(VersionTest, ReportsTheConfiguredSystem) {
    pc_.win32().system_info().SetSystem(GetParam().system);
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, GetParam().platform);
    EXPECT_EQ(info.dwMajorVersion, GetParam().major);
    EXPECT_EQ(info.dwMinorVersion, GetParam().minor);
    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&info));
}

INSTANTIATE_TEST_SUITE_P(Systems, VersionTest,
                         ::testing::Values(SystemCase{simpc::WindowsSystem::Windows95, 1, 4, 0},
                                           SystemCase{simpc::WindowsSystem::Windows98, 1, 4, 10},
                                           SystemCase{simpc::WindowsSystem::WindowsNt4, 2, 4, 0},
                                           SystemCase{simpc::WindowsSystem::Windows2000, 2, 5, 0},
                                           SystemCase{simpc::WindowsSystem::WindowsXp, 2, 5, 1},
                                           SystemCase{simpc::WindowsSystem::Windows7, 2, 6, 1}));

TEST_F(Win32UserModeTest, MessageBoxesAnswerFromTheScriptAndRecord) {
    pc_.win32().message_boxes().Script({IDNO, IDOK});
    EXPECT_EQ(MessageBoxA(nullptr, "question", "Confirmation", MB_YESNO | MB_ICONINFORMATION),
              IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "done", "Information", MB_OK), IDOK);
    ASSERT_EQ(pc_.win32().message_boxes().Shown().size(), 2u);
    EXPECT_EQ(pc_.win32().message_boxes().Shown()[0].text, "question");
    EXPECT_EQ(pc_.win32().message_boxes().Shown()[0].style, MB_YESNO | MB_ICONINFORMATION);
    EXPECT_EQ(pc_.win32().message_boxes().UnusedAnswers(), 0u);
}

TEST_F(Win32UserModeTest, UnscriptedBoxesAndImpossibleAnswersAreFindings) {
    pc_.win32().message_boxes().Script({IDYES});
    EXPECT_EQ(MessageBoxA(nullptr, "done", "Information", MB_OK), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "more", "Error", MB_OK), 0);
    EXPECT_THAT(pc_.verifier().TakeFindings(),
                ElementsAre(HasSubstr("no button of the box [Information] done"),
                            HasSubstr("not in the script: [Error] more")));
}

TEST_F(Win32UserModeTest, StartedProgramsAreRecordedAndMustExist) {
    files().WriteFile("C:\\pkg\\tool.exe", "");
    files().SetCurrentDirectory("C:\\pkg");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    char command[] = "tool.exe arg";
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
    char missing[] = "other.exe arg";
    EXPECT_FALSE(CreateProcessA(nullptr, missing, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &process));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const auto& started = pc_.win32().programs().Processes();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].command_line, "tool.exe arg");
    EXPECT_EQ(started[0].current_directory, "C:\\pkg");
    EXPECT_TRUE(started[0].started);
    EXPECT_FALSE(started[1].started);

    EXPECT_GT(reinterpret_cast<INT_PTR>(
                  ShellExecuteA(nullptr, "open", "TOOL.EXE", "\"a b\" c", "", SW_SHOW)),
              32);
    EXPECT_EQ(
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "other.exe", "", "", SW_SHOW)),
        SE_ERR_FNF);
    pc_.win32().programs().FailNextShellExecute(SE_ERR_OOM);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "tool.exe", "", "", 1)),
              SE_ERR_OOM);
    EXPECT_EQ(pc_.win32().programs().ShellExecutions()[0].parameters, "\"a b\" c");
}

TEST(CommandLine, SplitsProgramAndArguments) {
    EXPECT_EQ(simpc::ProgramOfCommandLine("regini.exe reg.ini"), "regini.exe");
    EXPECT_EQ(simpc::ArgumentsOfCommandLine("regini.exe  reg.ini"), "reg.ini");
    EXPECT_EQ(simpc::ProgramOfCommandLine("\"C:\\a b\\x.exe\" y"), "C:\\a b\\x.exe");
    EXPECT_EQ(simpc::ArgumentsOfCommandLine("\"C:\\a b\\x.exe\" y z"), "y z");
    EXPECT_EQ(simpc::ArgumentsOfCommandLine("x.exe"), "");
}

TEST_F(Win32UserModeTest, ReginiScriptsWriteKeysAndTypedValues) {
    const std::string script = "; comment\r\n"
                               "\\Registry\\Machine\\Software\\Test [1 5 7]\r\n"
                               "    Count = REG_DWORD 0x10\r\n"
                               "    Decimal = REG_DWORD 42\r\n"
                               "    Path = REG_EXPAND_SZ \\SystemRoot\\x.sys\r\n"
                               "    Plain = some text\r\n"
                               "    Quoted = REG_SZ \" spaced \"\r\n"
                               "    Long = REG_SZ first \\\r\n"
                               "           second\r\n"
                               "    Sub\r\n"
                               "        Inner = REG_DWORD 1\r\n"
                               "    Outer = REG_DWORD 2\r\n"
                               "    Bad = REG_DWORD twelve\r\n"
                               "    Odd = REG_QWORD 1\r\n";
    simpc::Registry& registry = pc_.registry();
    EXPECT_THAT(simpc::ApplyReginiScript(registry, script),
                ElementsAre(HasSubstr("Bad"), HasSubstr("Odd")));
    const std::string key = "\\Registry\\Machine\\Software\\Test";
    EXPECT_EQ(registry.FindValue(key, "Count")->AsDword(), 16u);
    EXPECT_EQ(registry.FindValue(key, "Decimal")->AsDword(), 42u);
    EXPECT_EQ(registry.FindValue(key, "Path")->type, 2u);
    EXPECT_EQ(registry.FindValue(key, "Path")->AsString(), "\\SystemRoot\\x.sys");
    EXPECT_EQ(registry.FindValue(key, "Plain")->AsString(), "some text");
    EXPECT_EQ(registry.FindValue(key, "Quoted")->AsString(), " spaced ");
    EXPECT_EQ(registry.FindValue(key, "Long")->AsString(), "first second");
    EXPECT_EQ(registry.FindValue(key + "\\Sub", "Inner")->AsDword(), 1u);
    EXPECT_EQ(registry.FindValue(key, "Outer")->AsDword(), 2u);
    EXPECT_EQ(registry.FindValue(key, "Bad"), nullptr);
}

TEST_F(Win32UserModeTest, ReginiRunsOnlyAsAStartedReginiWithItsScript) {
    simpc::ProcessStart start;
    start.command_line = "regini.exe reg.ini";
    start.current_directory = "C:\\pkg";
    start.started = true;
    EXPECT_THAT(simpc::RunRegini(start), ElementsAre(HasSubstr("script not found")));
    files().WriteFile("C:\\pkg\\REG.INI", "\\Registry\\Machine\\X\r\n    V = REG_DWORD 3\r\n");
    EXPECT_THAT(simpc::RunRegini(start), IsEmpty());
    EXPECT_EQ(pc_.registry().FindValue("\\Registry\\Machine\\X", "V")->AsDword(), 3u);
    start.command_line = "install.exe reg.ini";
    EXPECT_THAT(simpc::RunRegini(start), ElementsAre(HasSubstr("not a started regini")));
}

} // namespace
