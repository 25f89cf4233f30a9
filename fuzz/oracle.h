// How the fuzzer reports a broken rule: a message on stderr, then abort(),
// which libFuzzer turns into a crash with the input saved.
#pragma once

#include <string>

namespace simpc {
class Pc;
}

namespace vexlor_fuzz {

[[noreturn]] void Crash(const std::string& message);

// Any finding of the simulated PC's verifier (and of the parallel-port
// driver, which reports through it) is a crash; `where` names the step.
void CheckFindings(simpc::Pc& pc, const std::string& where);

// Whether VEXLOR_FUZZ_VERBOSE is set: each operation is described on stderr.
bool Verbose();

// Whether VEXLOR_FUZZ_WITHOUT (a list of names) names `feature`: a part of
// the input that the fuzzer then leaves out, while a finding that it
// provokes waits for its fix.  Known names: "failing-free" (free requests
// that the parallel-port driver fails).
bool LeftOut(const char* feature);

}  // namespace vexlor_fuzz
