// vexlor-demo: boots a simulated PC, installs and loads the vexlor driver,
// and runs an application session against it, printing what the
// application and the driver's trace hook see.
#include <cstdio>
#include <string>

#include "simpc/pc.h"
#include "vexlor_ioctl.h"
#include "windows.h"

namespace {

void PrintTraces(simpc::Pc& pc, const char* heading) {
    std::printf("%s\n", heading);
    std::string text = pc.DriverTraceText();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::printf("    | %s\n", text.substr(start, end - start).c_str());
        start = end + 1;
    }
    pc.ClearDriverTraces();
}

int Fail(const char* what) {
    std::fprintf(stderr, "vexlor-demo: %s failed (error %lu)\n", what,
                 static_cast<unsigned long>(GetLastError()));
    return 1;
}

}  // namespace

int main() {
    simpc::Pc pc;
    std::printf("Simulated PC booted; system drive at %s\n", pc.SystemDrive().c_str());

    pc.InstallDriver("vexlor", VEXLOR_IMAGE, 1);
    if (pc.LoadDriver("vexlor") != STATUS_SUCCESS) {
        std::fprintf(stderr, "vexlor-demo: the driver did not load\n");
        return 1;
    }
    PrintTraces(pc, "Driver loaded from its service key (Lpt = 1). Its trace:");

    HANDLE device = CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return Fail("CreateFileA(\"\\\\.\\Vexlor\")");
    }
    PrintTraces(pc, "Opened \\\\.\\Vexlor. Trace:");

    unsigned char version[2] = {0, 0};
    DWORD bytes = 0;
    if (!DeviceIoControl(device, IOCTL_LOR_GET_VERSION, nullptr, 0, version, sizeof(version),
                         &bytes, nullptr)) {
        return Fail("IOCTL_LOR_GET_VERSION");
    }
    std::printf("IOCTL_LOR_GET_VERSION: driver version %u.%u (%lu bytes returned)\n", version[0],
                version[1], static_cast<unsigned long>(bytes));

    CloseHandle(device);
    PrintTraces(pc, "Closed the device. Trace:");

    if (pc.UnloadDriver("vexlor") != STATUS_SUCCESS) {
        std::fprintf(stderr, "vexlor-demo: the driver did not unload\n");
        return 1;
    }
    PrintTraces(pc, "Driver unloaded. Trace:");

    for (const std::string& finding : pc.verifier().Findings()) {
        std::printf("verifier: %s\n", finding.c_str());
    }
    std::printf("Verifier findings: %zu\n", pc.verifier().Findings().size());
    return pc.verifier().Clean() ? 0 : 1;
}
