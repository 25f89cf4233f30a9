#include "setup_flow.h"

#include <windows.h>

#include <cstring>

#include "driver_version.h"
#include "install_paths.h"
#include "installation.h"
#include "message_dialog.h"
#include "vexlor_ioctl.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record GetVersionExA fills");

namespace {

// Asks whether a running driver that is newer than the carried one stays.
bool KeepRunningDriver(WORD running) {
    const VersionText current = VersionToText(running);
    const VersionText carried =
        VersionToText(MakeDriverVersion(SETUP_DRIVER_MAJOR, SETUP_DRIVER_MINOR));
    char text[160];
    text[0] = '\0';
    std::strcat(text, "ENG: Driver in computer (");
    std::strcat(text, current.text);
    std::strcat(text, ") seems to be newer than one being installed (");
    std::strcat(text, carried.text);
    std::strcat(text, "). Do you want to keep current driver ?\r\n\r\n");
    return MessageDialog(text, MESSAGE_WARNING, BUTTON_YES | BUTTON_NO) == IDYES;
}

void InstallOrUpdate(const OSVERSIONINFOA& system) {
    // While the driver runs, its link \DosDevices\Vexlor exists.
    HANDLE device = CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    const bool inf_system = system.dwMajorVersion >= 5;
    if (device == INVALID_HANDLE_VALUE) {
        if (inf_system) {
            RunInfInstaller();
        } else {
            InstallDriverNt4();
        }
        return;
    }
    const WORD running = QueryDriverVersion(device);
    if (IsNewerThanCarried(running) && KeepRunningDriver(running)) {
        return;
    }
    if (inf_system) {
        RunInfInstaller();
    } else {
        UpdateDriverNt4();
    }
    // The device handle goes with the process, which ends right after.
}

} // namespace

void RunSetup() {
    if (MessageDialog("You are about to install VexLor driver.\r\nDo you want to continue ?",
                      MESSAGE_CONFIRMATION, BUTTON_YES | BUTTON_NO) == IDNO) {
        return;
    }
    OSVERSIONINFOA system;
    ZeroMemory(&system, sizeof system);
    system.dwOSVersionInfoSize = sizeof system;
    GetVersionExA(&system);
    if (system.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        MessageDialog("It is not necessary to install this driver under this operating system.",
                      MESSAGE_ERROR, BUTTON_OK);
        return;
    }
    FillWindowsDir();
    InstallOrUpdate(system);
    ClearWindowsDir();
}
