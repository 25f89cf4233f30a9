// One execution of the fuzzer: a simulated PC built from the scenario's
// setup, the driver loaded, the scenario's operations performed with every
// oracle checked after each, then every handle closed and the driver
// unloaded - where the verifier checks for leaked IRPs, pool and
// references and the port must be back with the parallel-port driver.
// The machine's setup is in fuzz_machine.cpp, the operations and their
// oracles in fuzz_session.cpp.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "answer_port.h"
#include "fuzz_input.h"
#include "parallel_port_driver.h"
#include "port_watch.h"
#include "simpc/pc.h"
#include "windows.h"

namespace vexlor_fuzz {

class Session {
  public:
    // `system_drive`: an existing host directory for the machine's C:.
    Session(const Scenario& scenario, const std::string& system_drive,
            const std::string& image_path);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Run();

  private:
    void BuildMachine();
    void AttachPort(uint32_t base);
    void WriteLptValue();
    void ApplyArbitration(uint8_t byte);
    void LoadDriver();

    void Perform(const Operation& op);
    void PerformCall(const Operation& op);
    void Open(uint8_t access);
    void Close(uint8_t index);
    void SendRequest(const Request& request);
    void Finish();

    // An open handle that no call is using, chosen by `index`; -1 if none.
    int PickHandle(uint8_t index) const;
    uint32_t Translated(uint32_t bus_address) const;

    const Scenario& scenario_;
    std::string image_path_;
    simpc::Pc pc_;
    std::unique_ptr<simpc::ParallelPortDriver> parport_;
    std::shared_ptr<AnswerPort> port_ = std::make_shared<AnswerPort>();
    PortWatch watch_;
    std::vector<HANDLE> handles_;
    // Handles with a call in progress: a deferred call that runs while that
    // call waits must not use them.
    std::vector<HANDLE> busy_;
    bool mdls_mapped_ = false;
    bool finishing_ = false;  // deferred calls no longer run
};

}  // namespace vexlor_fuzz
