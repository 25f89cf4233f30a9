// The three ways the installer puts the driver in place.  Each reports its
// own outcome by a message box.
#pragma once

// NT 4, driver not running: copy the driver into the drivers directory and
// have regini.exe enter reg.ini.
void InstallDriverNt4();
// NT 4, driver running: replace the driver file, or put back a missing one.
void UpdateDriverNt4();
// Windows 2000 and later, running or not: hand vexlor.inf to install.exe.
void RunInfInstaller();
