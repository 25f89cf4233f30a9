// Where the installer finds and puts things.  Plain names are relative to
// the current directory, the one setup is started from, which holds the
// package: vexlor.sys, regini.exe and reg.ini, install.exe and vexlor.inf.
#pragma once

#define DRIVER_FILE_NAME "vexlor.sys"
#define REGINI_PROGRAM "regini.exe"
#define REGINI_SCRIPT "reg.ini"
#define INF_INSTALLER_PROGRAM "install.exe"
#define INF_FILE_NAME "vexlor.inf"

// Fills WindowsDir from GetWindowsDirectoryA: the size query with no buffer,
// then the copy.  WindowsDir stays NULL when the system does not tell.
void FillWindowsDir();
void ClearWindowsDir();
// The Windows directory, without a trailing backslash, or NULL.
const char* WindowsDir();

// WindowsDir + "\system32\drivers\vexlor.sys", or NULL when WindowsDir is
// unknown or no memory could be had.  Release it with FreeText.
char* DriverTargetPath();

// current directory + "\vexlor.inf", or NULL when the current directory
// cannot be had in MAX_PATH characters.  Release it with FreeText.
char* InfFilePath();

// True only for an existing file that is not a directory.
bool FileExists(const char* name);
