// vexlor-bench: what the driver adds to each port access in its long
// transfers.
//
// Each benchmark sends one request to the real driver image on the
// simulated PC, whose port bus goes straight to one sink device, and beside
// it runs a baseline loop that makes the same number of bare
// READ_PORT_UCHAR / WRITE_PORT_UCHAR calls through the same sink.  Both are
// timed in every iteration, one after the other, in the thread's processor
// time.  Counters:
//
//   accesses    port accesses per request
//   ns/access   the request's time per access
//   base_ns     the baseline's time per access
//   ratio       ns/access over base_ns: 1.0 means the driver adds nothing
//
// Run a Release build: build/<dir>/bench/vexlor-bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "lor_driver.h"
#include "simpc/pc.h"
#include "vexlor_ioctl.h"
#include "windows.h"

namespace {

constexpr uint32_t kBase = 0x378;
constexpr uint32_t kEppAddress = 0x37B;
constexpr uint32_t kEppData = 0x37C;

// Answers every read with one byte and forgets every write.
class SinkDevice : public simpc::PortDevice {
  public:
    explicit SinkDevice(uint8_t answer) : answer_(answer) {}
    uint32_t Read(uint32_t, int) override { return answer_; }
    void Write(uint32_t, int, uint32_t) override {}

  private:
    uint8_t answer_;
};

// A machine with the driver loaded and opened at LPT1, the bus reduced to the sink.
class Machine {
  public:
    explicit Machine(uint8_t answer) {
        pc_.InstallDriver("vexlor", VEXLOR_IMAGE, 1);
        if (pc_.LoadDriver("vexlor") != STATUS_SUCCESS) {
            Fail("the driver does not load");
        }
        handle_ = CreateFileA(LOR_WIN32_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            Fail("the device does not open");
        }
        // Where the open puts LPT1 without the parallel-port driver.
        auto* extension = static_cast<LorDeviceExtension*>(
            pc_.objects().ResolveDevice(LOR_NT_DEVICE_NAME)->DeviceExtension);
        extension->PortInfo.Controller = reinterpret_cast<PUCHAR>(uintptr_t{kBase});
        extension->EppPort = reinterpret_cast<PUCHAR>(uintptr_t{kEppAddress});
        sink_ = std::make_shared<SinkDevice>(answer);
        pc_.bus().SetTracing(false);
        pc_.bus().SetSink(sink_.get());
    }
    ~Machine() {
        pc_.bus().SetSink(nullptr);
        CloseHandle(handle_);
    }

    void Request(DWORD code, void* input, DWORD input_length, void* output, DWORD output_length) {
        DWORD bytes = 0;
        if (!DeviceIoControl(handle_, code, input, input_length, output, output_length, &bytes,
                             nullptr)) {
            Fail("a request failed");
        }
    }

    static void Fail(const char* what) {
        std::fprintf(stderr, "vexlor-bench: %s\n", what);
        std::exit(1);
    }

  private:
    simpc::Pc pc_;
    std::shared_ptr<SinkDevice> sink_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

PUCHAR Port(uint32_t address) {
    return reinterpret_cast<PUCHAR>(uintptr_t{address});
}

// The same number of bare port calls as the request makes.
void BaselineWrites(uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        WRITE_PORT_UCHAR(Port(kEppData), static_cast<UCHAR>(0xE4 | ((i & 1) << 4)));
    }
}

void BaselineReads(uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        benchmark::DoNotOptimize(READ_PORT_UCHAR(Port(kEppData)));
    }
}

// The calling thread's processor time in seconds: unlike the wall clock it
// does not count the time the thread waits for a processor, so other work
// on the machine does not inflate the figures.
double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Times `request` against `baseline`, both making `accesses` port accesses.
template <typename Request, typename Baseline>
void Measure(benchmark::State& state, uint64_t accesses, Request request, Baseline baseline) {
    double driver = 0;
    double bare = 0;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        request();
        const double middle = ThreadSeconds();
        baseline();
        const double end = ThreadSeconds();
        driver += middle - start;
        bare += end - middle;
        state.SetIterationTime(middle - start);
    }
    const double total = static_cast<double>(accesses) * static_cast<double>(state.iterations());
    const double ns = driver * 1e9 / total;
    const double base_ns = bare * 1e9 / total;
    state.counters["accesses"] = static_cast<double>(accesses);
    state.counters["ns/access"] = ns;
    state.counters["base_ns"] = base_ns;
    state.counters["ratio"] = ns / base_ns;
}

// 6819 bytes, 24 writes each.
void ShiftOutBlock(benchmark::State& state) {
    Machine machine(0x00);
    std::vector<uint8_t> bytes(LOR_SHIFT_BLOCK_LIMIT);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    const uint64_t accesses = 24ull * LOR_SHIFT_BLOCK_LIMIT;
    Measure(
        state, accesses,
        [&] {
            machine.Request(IOCTL_LOR_SHIFT_OUT_BLOCK, nullptr, 0, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
        },
        [&] { BaselineWrites(accesses); });
}

// A device whose every byte has the trigger bit set: the trigger step runs in
// pass 769, so 66,307 reads and 3 writes.
void CaptureTriggered(benchmark::State& state) {
    Machine machine(0x81);
    std::vector<uint8_t> samples(LOR_SAMPLE_BUFFER_SIZE);
    const uint64_t reads = 769 + 65538;
    Measure(
        state, reads + 3,
        [&] {
            machine.Request(IOCTL_LOR_CAPTURE_TRIGGERED, nullptr, 0, samples.data(),
                            LOR_SAMPLE_BUFFER_SIZE);
        },
        [&] {
            BaselineReads(reads);
            WRITE_PORT_UCHAR(Port(kEppAddress), 0x04);
            WRITE_PORT_UCHAR(Port(kEppData), 0x01);
            WRITE_PORT_UCHAR(Port(kEppAddress), 0x0D);
        });
}

// A device that announces pairs forever: 31998 pairs, three reads each.
void ReadUntilStop(benchmark::State& state) {
    Machine machine(0x80);
    std::vector<uint8_t> samples(LOR_SAMPLE_BUFFER_SIZE);
    const uint64_t reads = 3ull * 31998;
    Measure(
        state, reads,
        [&] {
            machine.Request(IOCTL_LOR_READ_UNTIL_STOP, nullptr, 0, samples.data(),
                            LOR_SAMPLE_BUFFER_SIZE);
        },
        [&] { BaselineReads(reads); });
}

// 32768 pairs filling both planes of a 64 KiB buffer.
void PortReadPairs(benchmark::State& state) {
    Machine machine(0x5A);
    std::vector<uint8_t> samples(2 * LOR_PLANE_DISTANCE);
    LorReadPairsRequest request{0, 0, 1, LOR_PLANE_DISTANCE};
    const uint64_t reads = 2ull * LOR_PLANE_DISTANCE;
    Measure(
        state, reads,
        [&] {
            machine.Request(IOCTL_LOR_PORT_READ_PAIRS, &request, sizeof(request), samples.data(),
                            static_cast<DWORD>(samples.size()));
        },
        [&] { BaselineReads(reads); });
}

BENCHMARK(ShiftOutBlock)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(CaptureTriggered)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadUntilStop)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(PortReadPairs)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
