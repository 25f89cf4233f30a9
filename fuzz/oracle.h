// How the fuzzer reports a broken rule: a message on stderr, then abort(),
// which libFuzzer turns into a crash with the input saved.
#pragma once

#include <cstdint>
#include <string>

namespace simpc {
class Pc;
}

namespace vexlor_fuzz {

[[noreturn]] void Crash(const std::string& message);

// "0x1F": how messages write addresses, codes and statuses.
std::string Hex(uint32_t value);

// Any finding of the simulated PC's verifier (and of the parallel-port
// driver, which reports through it) is a crash; `where` names the step.
void CheckFindings(simpc::Pc& pc, const std::string& where);

// Whether VEXLOR_FUZZ_VERBOSE is set: each operation is described on stderr.
bool Verbose();

}  // namespace vexlor_fuzz
