// libFuzzer target over everything an application, the other clients of
// the parallel port and the hardware can do to the vexlor driver in the
// simulated PC.  The input format is in fuzz_input.h, the oracles in
// fuzz_session.cpp, port_watch.cpp and oracle.cpp.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "driver_image.h"
#include "fuzz_input.h"
#include "fuzz_session.h"

namespace {

std::string g_system_drive;
std::string g_image;

void RemoveSystemDrive() {
    std::error_code ignored;
    std::filesystem::remove_all(g_system_drive, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    (void)argc;
    (void)argv;
    // One system drive for every machine of this process: no directory is
    // made or removed per execution.
    std::string pattern = (std::filesystem::temp_directory_path() / "vexlor-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("vexlor fuzz: cannot create the system drive");
        std::abort();
    }
    g_system_drive = pattern;
    std::atexit(RemoveSystemDrive);
    // The image of this build, or a copy that VEXLOR_FUZZ_IMAGE names (a
    // long run can then go on while the build directory is rebuilt).
    const char* image = std::getenv("VEXLOR_FUZZ_IMAGE");
    g_image = image != nullptr ? image : VEXLOR_IMAGE;
    vexlor_fuzz::DriverImage::Get(g_image);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vexlor_fuzz::Scenario scenario = vexlor_fuzz::Decode(data, size);
    vexlor_fuzz::Session session(scenario, g_system_drive, g_image);
    session.Run();
    return 0;
}
