// vexlor-demo: boots a simulated PC whose LPT1 belongs to the system
// parallel-port driver, with ECP port hardware and the acquisition device on
// its EPP bus; installs and loads the vexlor driver, and runs an
// application session against it, printing what a user would want to see.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "acquisition_bench.h"
#include "parallel_port_driver.h"
#include "periodic_signal_generator.h"
#include "signal_plot.h"
#include "simpc/pc.h"
#include "vexlor_ioctl.h"
#include "windows.h"

namespace {

void PrintTraces(simpc::Pc& pc, const char* heading) {
    std::printf("%s\n", heading);
    const std::string text = pc.DriverTraceText();
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

bool Control(HANDLE device, DWORD code, void* input, DWORD input_length, void* output,
             DWORD output_length, const char* what) {
    DWORD bytes = 0;
    if (DeviceIoControl(device, code, input, input_length, output, output_length, &bytes,
                        nullptr)) {
        return true;
    }
    std::fprintf(stderr, "vexlor-demo: %s failed (error %lu)\n", what,
                 static_cast<unsigned long>(GetLastError()));
    return false;
}

bool SelectRegister(HANDLE device, uint8_t index) {
    LorPortRequest request = {LOR_PORT_WRITE_UCHAR, LOR_REGISTER_EPP_ADDRESS, {0}};
    request.Value.Uchar = index;
    return Control(device, IOCTL_LOR_PORT_REQUEST, &request, 9, nullptr, 0, "register select");
}

bool ReadEepromWord(HANDLE device, uint16_t address, uint16_t* word) {
    uint8_t buffer[2] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
    if (!Control(device, IOCTL_LOR_READ_EEPROM, buffer, 2, buffer, 2, "IOCTL_LOR_READ_EEPROM")) {
        return false;
    }
    *word = static_cast<uint16_t>(buffer[0] | buffer[1] << 8);
    return true;
}

int Session(simpc::Pc& pc, simpc::ParallelPortDriver& parport, simpc::AcquisitionBench& bench) {
    HANDLE device = CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vexlor-demo: CreateFileA failed (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    PrintTraces(pc, "Opened \\\\.\\Vexlor: the port is found and acquired. Trace:");
    std::printf("LPT1 is now held by: %s\n\n", parport.Holder(0).c_str());

    unsigned char version[2] = {0, 0};
    if (!Control(device, IOCTL_LOR_GET_VERSION, nullptr, 0, version, 2, "GET_VERSION") ||
        !Control(device, IOCTL_LOR_SET_EPP_MODE, nullptr, 0, nullptr, 0, "SET_EPP_MODE")) {
        return 1;
    }
    std::printf("Driver version: %u.%u\n", version[0], version[1]);
    std::printf("Port mode after IOCTL_LOR_SET_EPP_MODE: %s\n\n",
                bench.port->EppCyclesEnabled() ? "EPP" : "not EPP");

    // The device's serial EEPROM sits behind device register 0x0E.
    if (!SelectRegister(device, 0x0E)) {
        return 1;
    }
    std::printf("EEPROM words 0-7:");
    for (uint16_t address = 0; address < 8; ++address) {
        uint16_t word = 0;
        if (!ReadEepromWord(device, address, &word)) {
            return 1;
        }
        std::printf(" %04X", word);
    }
    std::printf("\n\n");

    // The bit-serial configuration input sits behind register 0x0F.
    const uint8_t configuration[] = {0xA5, 0x5A, 0x0F, 0xF0, 0xC3};
    if (!SelectRegister(device, 0x0F) ||
        !Control(device, IOCTL_LOR_SHIFT_OUT, nullptr, 0, const_cast<uint8_t*>(configuration),
                 sizeof(configuration), "IOCTL_LOR_SHIFT_OUT")) {
        return 1;
    }
    std::printf("Shifted out %zu configuration bytes; the device received %llu bits:",
                sizeof(configuration),
                static_cast<unsigned long long>(bench.device->serial_input().BitsReceived()));
    for (uint8_t byte : bench.device->serial_input().Bytes()) {
        std::printf(" %02X", byte);
    }
    std::printf("\n\n");

    // Samples come from register 0x0D: a triggered capture of the signal.
    bench.device->samples().PlayFrames(std::make_shared<simpc::PeriodicSignalGenerator>(
        simpc::PeriodicSignalGenerator::Config{250, 0x80}));
    std::vector<uint8_t> buffer(LOR_SAMPLE_BUFFER_SIZE);
    const simpc::Nanoseconds before = pc.clock().Now();
    if (!SelectRegister(device, 0x0D) ||
        !Control(device, IOCTL_LOR_CAPTURE_TRIGGERED, nullptr, 0, buffer.data(),
                 LOR_SAMPLE_BUFFER_SIZE, "IOCTL_LOR_CAPTURE_TRIGGERED")) {
        return 1;
    }
    int first_stored = 1;
    while (first_stored < 32000 && buffer[first_stored] == 0 &&
           buffer[LOR_PLANE_DISTANCE + first_stored] == 0) {
        ++first_stored;
    }
    std::printf("Triggered capture: %.1f ms on a 1 us EPP bus; the signal starts at position %d.\n",
                (pc.clock().Now() - before) / 1e6, first_stored);
    std::vector<uint8_t> channel1(buffer.begin() + first_stored,
                                  buffer.begin() + first_stored + 750);
    std::vector<uint8_t> channel2(buffer.begin() + LOR_PLANE_DISTANCE + first_stored,
                                  buffer.begin() + LOR_PLANE_DISTANCE + first_stored + 750);
    std::printf("The first 750 samples from the trigger on (* channel 1, . channel 2):\n");
    for (const std::string& row : PlotChannels(channel1, channel2, 75, 12)) {
        std::printf("    |%s\n", row.c_str());
    }
    std::printf("\n");

    // A read that the device ends with its stop flag.
    std::vector<simpc::Sample> pairs;
    for (int i = 0; i < 40; ++i) {
        pairs.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), 0});
    }
    bench.device->samples().PlayFlaggedPairs(pairs);
    if (!Control(device, IOCTL_LOR_READ_UNTIL_STOP, nullptr, 0, buffer.data(),
                 LOR_SAMPLE_BUFFER_SIZE, "IOCTL_LOR_READ_UNTIL_STOP")) {
        return 1;
    }
    std::printf("Read until stop: %u pairs, stop flag %u\n\n", buffer[0] | buffer[1] << 8,
                buffer[LOR_PLANE_DISTANCE]);

    pc.ClearDriverTraces();
    CloseHandle(device);
    PrintTraces(pc, "Closed the device: the port is given back. Trace:");
    std::printf("LPT1 is now held by: %s\n", parport.Holder(0).empty() ? "nobody" : parport.Holder(0).c_str());
    std::printf("Port accesses without a grant: %llu\n\n",
                static_cast<unsigned long long>(parport.AccessesWithoutGrant(0)));
    return 0;
}

}  // namespace

int main() {
    simpc::Pc pc;
    std::printf("Simulated PC booted; its system drive is %s\n\n", pc.SystemDrive().c_str());
    int result;
    {
        simpc::ParallelPortDriver parport(pc, {{0x378, 0x378, 8}});
        simpc::AcquisitionBench bench = simpc::AttachAcquisitionDevice(pc, 0x378, true);
        bench.device->eeprom().SetWord(0, 0x5645);  // "VE"
        bench.device->eeprom().SetWord(1, 0x584C);  // "XL"
        bench.device->eeprom().SetWord(2, 0x2026);
        bench.device->eeprom().SetWord(3, 0x0001);

        pc.InstallDriver("vexlor", VEXLOR_IMAGE, 1);
        if (pc.LoadDriver("vexlor") != STATUS_SUCCESS) {
            std::fprintf(stderr, "vexlor-demo: the driver did not load\n");
            return 1;
        }
        PrintTraces(pc, "Driver loaded from its service key (Lpt = 1). Trace:");
        result = Session(pc, parport, bench);
        if (pc.UnloadDriver("vexlor") != STATUS_SUCCESS) {
            std::fprintf(stderr, "vexlor-demo: the driver did not unload\n");
            return 1;
        }
        PrintTraces(pc, "Driver unloaded. Trace:");
    }
    for (const std::string& finding : pc.verifier().Findings()) {
        std::printf("verifier: %s\n", finding.c_str());
    }
    std::printf("Verifier findings: %zu\n", pc.verifier().Findings().size());
    return result == 0 && pc.verifier().Clean() ? 0 : 1;
}
