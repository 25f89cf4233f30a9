// The simulated PC's driver verifier.
//
// Like Driver Verifier on Windows it watches the rules every driver must
// keep (complete each request once, return the status it completed with,
// free what it allocated, ...).  A broken rule becomes a finding: a message
// that names the fault.  Tests fail on any finding they did not expect.
// A fault that would hang or crash a real machine is fatal: the finding is
// printed and the process aborts.
#pragma once

#include <string>
#include <vector>

namespace simpc {

class Verifier {
  public:
    void Report(std::string finding);
    [[noreturn]] void Fatal(const std::string& finding);

    const std::vector<std::string>& Findings() const { return findings_; }
    // Hands the findings to the caller and forgets them.
    std::vector<std::string> TakeFindings();
    bool Clean() const { return findings_.empty(); }

  private:
    std::vector<std::string> findings_;
};

}  // namespace simpc
