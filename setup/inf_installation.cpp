// Windows 2000 and later install legacy drivers through an INF file: the
// outside installer applies section VEXLOR of vexlor.inf and reports for
// itself.
#include <windows.h>

// After windows.h, whose types it uses.
#include <shellapi.h>

#include "install_paths.h"
#include "installation.h"
#include "joined_text.h"
#include "message_dialog.h"

void RunInfInstaller() {
    char* inf = InfFilePath();
    // The INF path in double quotes, a blank, then the section name.
    char* parameters = inf != nullptr ? JoinText("\"", inf, "\" VEXLOR") : nullptr;
    bool started = false;
    if (parameters != nullptr && FileExists(INF_INSTALLER_PROGRAM) && FileExists(inf)) {
        HINSTANCE result =
            ShellExecuteA(NULL, "open", INF_INSTALLER_PROGRAM, parameters, "", SW_SHOW);
        // ShellExecute answers a value above 32 when it started the program.
        started = reinterpret_cast<INT_PTR>(result) > 32;
    }
    FreeText(parameters);
    FreeText(inf);
    if (!started) {
        MessageDialog("Unable to find driver installator.", MESSAGE_ERROR, BUTTON_OK);
    }
}
