#include "program_launcher.h"

#include <shellapi.h>

#include "file_system.h"
#include "simpc/pc.h"
#include "win32_state.h"
#include "windows.h"

namespace simpc {

namespace {

// The host path of a program: as named when the name has a directory,
// else searched in `first_dir`, then C:\WINDOWS\system32 and C:\WINDOWS.
// ".exe" is added to a name without an extension.
std::string FindProgram(const std::string& name, const std::string& first_dir) {
    FileSystem& files = Pc::Current().win32().files();
    std::string program = name;
    const size_t last_name = program.find_last_of("\\/:");
    const std::string base =
        last_name == std::string::npos ? program : program.substr(last_name + 1);
    if (base.find('.') == std::string::npos) {
        program += ".exe";
    }
    std::vector<std::string> candidates;
    if (last_name != std::string::npos) {
        candidates.push_back(program);
    } else {
        candidates.push_back(first_dir + "\\" + program);
        candidates.push_back("C:\\WINDOWS\\system32\\" + program);
        candidates.push_back("C:\\WINDOWS\\" + program);
    }
    for (const std::string& candidate : candidates) {
        const ResolvedPath path = files.Resolve(candidate);
        const uint32_t attributes = path.error == 0 ? AttributesOfHostFile(path.host) : 0xFFFFFFFFu;
        if (attributes != 0xFFFFFFFFu && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return path.host;
        }
    }
    return std::string();
}

} // namespace

std::string ProgramOfCommandLine(const std::string& command_line) {
    size_t start = command_line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return std::string();
    }
    if (command_line[start] == '"') {
        const size_t end = command_line.find('"', start + 1);
        return command_line.substr(start + 1,
                                   end == std::string::npos ? std::string::npos : end - start - 1);
    }
    const size_t end = command_line.find_first_of(" \t", start);
    return command_line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string ArgumentsOfCommandLine(const std::string& command_line) {
    size_t position = command_line.find_first_not_of(" \t");
    if (position == std::string::npos) {
        return std::string();
    }
    if (command_line[position] == '"') {
        position = command_line.find('"', position + 1);
        position = position == std::string::npos ? command_line.size() : position + 1;
    } else {
        position = command_line.find_first_of(" \t", position);
        position = position == std::string::npos ? command_line.size() : position;
    }
    const size_t arguments = command_line.find_first_not_of(" \t", position);
    return arguments == std::string::npos ? std::string() : command_line.substr(arguments);
}

bool ProgramLauncher::CreateProcess(ProcessStart start, uint32_t* error) {
    const std::string program = !start.application_name.empty()
                                    ? start.application_name
                                    : ProgramOfCommandLine(start.command_line);
    start.program_host_path = FindProgram(program, start.current_directory);
    *error = 0;
    if (process_fault_) {
        *error = *process_fault_;
        process_fault_.reset();
    } else if (program.empty() || start.program_host_path.empty()) {
        *error = ERROR_FILE_NOT_FOUND;
    }
    start.started = *error == 0;
    processes_.push_back(start);
    return start.started;
}

intptr_t ProgramLauncher::ShellExecute(ShellExecution execution) {
    const std::string dir = execution.directory.empty()
                                ? Pc::Current().win32().files().CurrentDirectory()
                                : execution.directory;
    execution.program_host_path = FindProgram(execution.file, dir);
    if (shell_fault_) {
        execution.result = *shell_fault_;
        shell_fault_.reset();
    } else if (execution.file.empty() || execution.program_host_path.empty()) {
        execution.result = SE_ERR_FNF;
    } else {
        execution.result = 42; // above 32: started
    }
    executions_.push_back(execution);
    return execution.result;
}

} // namespace simpc

using simpc::Pc;

extern "C" {

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    (void)lpProcessAttributes;
    (void)lpThreadAttributes;
    (void)lpEnvironment;
    Pc& pc = Pc::Current();
    if (lpStartupInfo == nullptr || lpProcessInformation == nullptr ||
        (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        pc.win32().last_error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    simpc::ProcessStart start;
    start.application_name = lpApplicationName != nullptr ? lpApplicationName : "";
    start.command_line = lpCommandLine != nullptr ? lpCommandLine : "";
    start.current_directory =
        lpCurrentDirectory != nullptr ? lpCurrentDirectory : pc.win32().files().CurrentDirectory();
    start.inherit_handles = bInheritHandles != FALSE;
    start.creation_flags = dwCreationFlags;
    uint32_t error = 0;
    if (!pc.win32().programs().CreateProcess(start, &error)) {
        pc.win32().last_error = error;
        return FALSE;
    }
    const DWORD id = static_cast<DWORD>(0x100 + 4 * pc.win32().programs().Processes().size());
    lpProcessInformation->hProcess = pc.win32().AddObjectHandle();
    lpProcessInformation->hThread = pc.win32().AddObjectHandle();
    lpProcessInformation->dwProcessId = id;
    lpProcessInformation->dwThreadId = id + 2;
    return TRUE;
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd) {
    simpc::ShellExecution execution;
    execution.has_owner_window = hwnd != nullptr;
    execution.verb = lpOperation != nullptr ? lpOperation : "";
    execution.file = lpFile != nullptr ? lpFile : "";
    execution.parameters = lpParameters != nullptr ? lpParameters : "";
    execution.directory = lpDirectory != nullptr ? lpDirectory : "";
    execution.show = nShowCmd;
    return reinterpret_cast<HINSTANCE>(Pc::Current().win32().programs().ShellExecute(execution));
}

} // extern "C"
