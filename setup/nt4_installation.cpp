// NT 4 has no INF installer for legacy drivers: the installer copies the
// image itself and lets regini.exe write the service key from reg.ini; the
// system loads the driver from that key at the next start.
#include <windows.h>

#include "install_paths.h"
#include "installation.h"
#include "joined_text.h"
#include "message_dialog.h"

namespace {

// Starts "regini.exe reg.ini" in the current directory, without waiting.
bool StartRegini() {
    // CreateProcess may write into the command line it is given.
    char command_line[] = REGINI_PROGRAM " " REGINI_SCRIPT;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(NULL, command_line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Copies the driver over the target and says how that went.
void CopyAndReportUpdate(const char* target) {
    if (target != nullptr && CopyFileA(DRIVER_FILE_NAME, target, FALSE)) {
        MessageDialog("Driver updated sucessfully. It is necessary to restart computer.",
                      MESSAGE_INFORMATION, BUTTON_OK);
    } else {
        MessageDialog("Unable to update driver.", MESSAGE_ERROR, BUTTON_OK);
    }
}

} // namespace

void InstallDriverNt4() {
    char* target = DriverTargetPath();
    if (target != nullptr) {
        // A read-only copy left by an earlier installation would refuse the copy.
        SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    }
    const bool copied = target != nullptr && CopyFileA(DRIVER_FILE_NAME, target, FALSE);
    FreeText(target);
    if (!copied) {
        MessageDialog("Unable to copy files.", MESSAGE_ERROR, BUTTON_OK);
        return;
    }
    // Without the registry settings the copied driver is never loaded, so a
    // regini that cannot be started is the same failure as a missing one.
    if (FileExists(REGINI_PROGRAM) && FileExists(REGINI_SCRIPT) && StartRegini()) {
        MessageDialog("It is necessary to restart computer.", MESSAGE_INFORMATION, BUTTON_OK);
    } else {
        MessageDialog("Unable to update registry.", MESSAGE_ERROR, BUTTON_OK);
    }
}

void UpdateDriverNt4() {
    char* target = DriverTargetPath();
    const bool have_source = FileExists(DRIVER_FILE_NAME);
    if (have_source && target != nullptr && FileExists(target)) {
        if (MessageDialog("Driver is already installed in your computer. Do you want to replace "
                          "it ?",
                          MESSAGE_INFORMATION, BUTTON_YES | BUTTON_NO) == IDYES) {
            if (!SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL)) {
                MessageDialog("Unable to update driver.", MESSAGE_ERROR, BUTTON_OK);
            } else {
                CopyAndReportUpdate(target);
            }
        }
    } else if (have_source) {
        if (MessageDialog("The vexlor.sys seems to be missing. Do you want installer to fix this "
                          "problem ?",
                          MESSAGE_INFORMATION, BUTTON_YES | BUTTON_NO) == IDYES) {
            CopyAndReportUpdate(target);
        }
    }
    FreeText(target);
}
