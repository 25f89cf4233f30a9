#include "oracle.h"

#include <cstdio>
#include <cstdlib>

#include "simpc/pc.h"

namespace vexlor_fuzz {

void Crash(const std::string& message) {
    std::fprintf(stderr, "vexlor fuzz: BROKEN: %s\n", message.c_str());
    if (simpc::Pc::Exists()) {
        // The driver's last steps, for the one who reads the crash.
        const std::vector<std::string>& traces = simpc::Pc::Current().DriverTraces();
        const size_t first = traces.size() > 12 ? traces.size() - 12 : 0;
        for (size_t i = first; i < traces.size(); ++i) {
            std::fprintf(stderr, "vexlor fuzz: driver trace: %s", traces[i].c_str());
            if (traces[i].empty() || traces[i].back() != '\n') {
                std::fputc('\n', stderr);
            }
        }
    }
    std::fflush(stderr);
    std::abort();
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

void CheckFindings(simpc::Pc& pc, const std::string& where) {
    const std::vector<std::string>& findings = pc.verifier().Findings();
    if (findings.empty()) {
        return;
    }
    std::string message = "verifier finding " + where + ":";
    for (const std::string& finding : findings) {
        message += "\n  " + finding;
    }
    Crash(message);
}

bool Verbose() {
    static const bool verbose = std::getenv("VEXLOR_FUZZ_VERBOSE") != nullptr;
    return verbose;
}

}  // namespace vexlor_fuzz
