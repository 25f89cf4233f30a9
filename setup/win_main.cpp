// setup: installs the vexlor driver or brings it up to date.  A GUI
// program without a window of its own and without options; it speaks only
// through message boxes and ends with exit code 0 whatever happened.
#include <windows.h>

#include "setup_flow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    RunSetup();
    return 0;
}
