// Programs started by programs on the simulated PC: CreateProcessA and
// ShellExecuteA record what they were asked to start, and start nothing.
// A test plays the started program itself when it matters (see
// regini_stand_in.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simpc {

struct ProcessStart {
    std::string application_name;  // lpApplicationName, "" for NULL
    std::string command_line;      // lpCommandLine as passed
    std::string program_host_path; // the program found, "" when none was
    std::string current_directory; // the directory the program starts in
    bool inherit_handles = false;
    uint32_t creation_flags = 0;
    bool started = false;
};

struct ShellExecution {
    bool has_owner_window = false;
    std::string verb; // "" for NULL
    std::string file;
    std::string parameters;
    std::string directory; // as passed, "" for NULL
    int show = 0;
    std::string program_host_path;
    intptr_t result = 0; // what ShellExecuteA returned
};

class ProgramLauncher {
  public:
    const std::vector<ProcessStart>& Processes() const { return processes_; }
    const std::vector<ShellExecution>& ShellExecutions() const { return executions_; }

    // Faults: the next CreateProcessA fails with `error`; the next
    // ShellExecuteA answers `result` (32 or below).
    void FailNextCreateProcess(uint32_t error = 5 /* ERROR_ACCESS_DENIED */) {
        process_fault_ = error;
    }
    void FailNextShellExecute(intptr_t result = 5 /* SE_ERR_ACCESSDENIED */) {
        shell_fault_ = result;
    }

    // CreateProcessA: finds the program of the command line; false with
    // `error` set when it fails.
    bool CreateProcess(ProcessStart start, uint32_t* error);
    // ShellExecuteA: finds the file in the directory or the current one.
    intptr_t ShellExecute(ShellExecution execution);

  private:
    std::vector<ProcessStart> processes_;
    std::vector<ShellExecution> executions_;
    std::optional<uint32_t> process_fault_;
    std::optional<intptr_t> shell_fault_;
};

// The program name of a command line: its first word, or the quoted text.
std::string ProgramOfCommandLine(const std::string& command_line);
// The rest of a command line after its program name and the blanks after it.
std::string ArgumentsOfCommandLine(const std::string& command_line);

} // namespace simpc
