// record_command_line: a stand-in for an outside program (regini.exe,
// install.exe) that only records how it was started.  Beside itself it
// writes <its name>.txt with three lines: the command line as the system
// passed it, the arguments after the program name, the current directory.
// A GUI program, so that starting it opens no console.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The arguments: what follows the program name (quoted or not) and blanks.
const char* ArgumentsOf(const char* command_line) {
    const char* p = command_line;
    if (*p == '"') {
        p = std::strchr(p + 1, '"');
        p = p != nullptr ? p + 1 : command_line + std::strlen(command_line);
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') {
            ++p;
        }
    }
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char record[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameA(NULL, record, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    char* extension = std::strrchr(record, '.');
    std::strcpy(extension != nullptr ? extension : record + length, ".txt");

    char directory[MAX_PATH];
    if (GetCurrentDirectoryA(MAX_PATH, directory) == 0) {
        directory[0] = '\0';
    }
    const char* command_line = GetCommandLineA();
    // Written under another name first, so that a reader never sees half of it.
    char partial[MAX_PATH + 16];
    std::snprintf(partial, sizeof partial, "%s.partial", record);
    FILE* out = std::fopen(partial, "wb");
    if (out == nullptr) {
        return 1;
    }
    std::fprintf(out, "%s\n%s\n%s\n", command_line, ArgumentsOf(command_line), directory);
    std::fclose(out);
    return MoveFileExA(partial, record, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
