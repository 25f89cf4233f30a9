#include "verifier.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace simpc {

void Verifier::Report(std::string finding) { findings_.push_back(std::move(finding)); }

void Verifier::Fatal(const std::string& finding) {
    std::fprintf(stderr, "simulated PC: fatal: %s\n", finding.c_str());
    for (const std::string& earlier : findings_) {
        std::fprintf(stderr, "simulated PC: earlier finding: %s\n", earlier.c_str());
    }
    std::fflush(stderr);
    std::abort();
}

std::vector<std::string> Verifier::TakeFindings() {
    std::vector<std::string> taken;
    taken.swap(findings_);
    return taken;
}

}  // namespace simpc
