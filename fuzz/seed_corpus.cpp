// Writes the fuzzer's seed corpus: the requests and situations that the
// driver tests set up, in the input format of fuzz_input.h.
//
//   vexlor_fuzz_seeds <dir>          writes seed-<name> files into <dir>
//   vexlor_fuzz_seeds --check <dir>  fails unless <dir> holds exactly them
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "vexlor_ioctl.h"

using vexlor_fuzz::Encoder;

namespace {

// Indexes into kTableCodes.
enum Table : uint8_t {
    kShiftOutBlock,
    kReadWindow,
    kCaptureTriggered,
    kReadUntilStop,
    kSetLines,
    kNop,
    kReadEeprom,
    kWriteBytes,
    kShiftOut,
    kSetEppMode,
    kGetVersion,
    kReadBytes,
    kPortRequest,
    kPortNop,
    kReadPairs,
};

// Fault points, in simpc::FaultPoint's order.
enum Fault : uint8_t {
    kPool,
    kIrp,
    kBuildRequest,
    kLookup,
    kLookupWithoutFile,
    kMapPages,
};

// Machine flags (setup byte 0).
constexpr uint8_t kParport = 0x01;
constexpr uint8_t kMapped = 0x02;
constexpr uint8_t kNoRoutines = 0x04;
constexpr uint8_t kGrantWhenCancelled = 0x08;
constexpr uint8_t kTranslationFails = 0x10;
constexpr uint8_t kTranslationOffset = 0x20;

// Milliseconds in the format's 100 us units.
constexpr uint16_t Ms(int ms) {
    return static_cast<uint16_t>(ms * 10);
}

std::vector<uint8_t> Le32(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> bytes;
    for (uint32_t value : values) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }
    return bytes;
}

std::vector<uint8_t> Port(uint32_t function, uint32_t register_, uint32_t value, size_t length) {
    std::vector<uint8_t> bytes = Le32({function, register_, value});
    bytes.resize(length);
    return bytes;
}

Encoder Raw(uint32_t lpt = 1, const std::vector<uint8_t>& answers = {0x81}, uint8_t flags = 0) {
    Encoder e;
    e.Machine(flags, 0, lpt, 0, answers);
    return e;
}

Encoder Parport(uint8_t arbitration = 0, uint8_t flags = kParport) {
    Encoder e;
    e.Machine(flags, 0, 1, arbitration, {0x80, 0x2C});
    return e;
}

struct Seed {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    auto add = [&seeds](const char* name, const Encoder& e) {
        seeds.push_back(Seed{name, e.Bytes()});
    };

    // Requests answered by the dispatch routine.
    add("version", Raw().Open().Request(0, kGetVersion, {}, 2).Request(0, kGetVersion, {}, 1));
    add("nops", Raw().Open().Request(0, kNop, {}, 0).Request(0, kPortNop, {1, 2}, 4));
    add("epp-mode", Raw(1, {0x35}).Open().Request(0, kSetEppMode, {}, 0));
    add("lines", Raw()
                     .Open()
                     .Request(0, kSetLines, {0}, 0)
                     .Request(0, kSetLines, {1}, 0)
                     .Request(0, kSetLines, {3}, 0)
                     .Request(0, kSetLines, {2}, 0)
                     .Request(0, kSetLines, {9}, 0)
                     .Request(0, kSetLines, {}, 0));
    add("eeprom", Raw(1, {0x02, 0x00, 0x02}).Open().Request(0, kReadEeprom, {5, 0}, 2));
    add("eeprom-short",
        Raw().Open().Request(0, kReadEeprom, {5}, 2).Request(0, kReadEeprom, {5, 0}, 1));

    // Register access.
    {
        Encoder e = Raw(1, {0x12, 0x34, 0x56, 0x78});
        e.Open();
        for (uint32_t function : vexlor_fuzz::kSubFunctions) {
            e.Request(0, kPortRequest, Port(function, 3, 0xA7, 12), 4);
        }
        add("port-each-function", e);
    }
    add("port-ranges", Raw()
                           .Open()
                           .Request(0, kPortRequest, Port(LOR_PORT_READ_UCHAR, 4, 0, 8), 1)
                           .Request(0, kPortRequest, Port(LOR_PORT_READ_USHORT, 4, 0, 8), 2)
                           .Request(0, kPortRequest, Port(LOR_PORT_READ_ULONG, 1, 0, 8), 4)
                           .Request(0, kPortRequest, Port(LOR_PORT_WRITE_ULONG, 2, 1, 12), 0)
                           .Request(0, kPortRequest, Port(LOR_PORT_READ_UCHAR, 0xFFFFFFFF, 0, 8), 1)
                           .Request(0, kPortRequest, Port(0x803, 0, 0, 8), 4));
    add("port-short", Raw()
                          .Open()
                          .Request(0, kPortRequest, Port(LOR_PORT_READ_UCHAR, 0, 0, 7), 4)
                          .Request(0, kPortRequest, Port(LOR_PORT_WRITE_USHORT, 0, 1, 9), 0)
                          .Request(0, kPortRequest, Port(LOR_PORT_READ_ULONG, 0, 0, 8), 3)
                          .Request(0, kPortRequest, {0, 8}, 0));
    add("direction-mode",
        Raw(1, {0x2C, 0x34, 0x12})
            .Open()
            .Request(0, kPortRequest, Port(LOR_PORT_SET_DIRECTION_MODE, 1, 0, 8), 0)
            .Request(0, kPortRequest, Port(LOR_PORT_READ_INDEXED_USHORT, 0x1F, 0, 8), 2));
    add("pairs", Raw(1, {1, 2, 3})
                     .Open()
                     .Request(0, kReadPairs, Le32({0, 1, 3, 4}), 0x8010)
                     .Request(0, kReadPairs, Le32({0, 0, 0, 0}), 0x8000)
                     .Request(0, kReadPairs, Le32({0, 0x10, 1, 2}), 0x8011));

    // Output.
    add("output", Raw()
                      .Open()
                      .Request(0, kWriteBytes, {}, 3, {1, 2, 3})
                      .Request(0, kShiftOut, {}, 1, {0xA5})
                      .Request(0, kShiftOutBlock, {}, 100)
                      .Request(0, kShiftOutBlock, {}, 0)
                      .Request(0, kShiftOut, {}, 0));

    // Acquisition.
    add("window", Raw(1, {7, 8})
                      .Open()
                      .Request(0, kReadWindow, {}, 0x8010, {10, 0, 0, 0, 3, 0})
                      .Request(0, kReadWindow, {}, 6, {0, 0, 0, 0, 0, 0})
                      .Request(0, kReadWindow, {}, 0x8010, {1, 0, 0, 0, 0, 0})
                      .Request(0, kReadWindow, {}, 5));
    add("until-stop", Raw(1, {0x80, 1, 2, 0x80, 3, 4, 0x40})
                          .Open()
                          .Request(0, kReadUntilStop, {}, 0xFD00)
                          .Request(0, kReadUntilStop, {}, 0xFCFF));
    add("until-full", Raw(1, {0x80}).Open().Request(0, kReadUntilStop, {}, 0xFD00));
    add("capture", Raw(1, {0x01}).Open().Request(0, kCaptureTriggered, {}, 0xFD00));
    add("capture-no-trigger",
        Raw(1, {0x00, 0x02}).Open().Request(0, kCaptureTriggered, {}, 0xFD00));
    add("read-bytes", Raw(1, {0x11, 0x22})
                          .Open()
                          .Request(0, kReadBytes, std::vector<uint8_t>(16), 16)
                          .Request(0, kReadBytes, std::vector<uint8_t>(16), 8)
                          .Request(0, kReadBytes, {}, 4));

    // Codes next to the table, handles without the access the codes need.
    add("other-codes", Raw()
                           .Open()
                           .RawRequest(0, LOR_ACQ_CODE(0x90F, LOR_METHOD_OUT_DIRECT), {}, 4)
                           .RawRequest(0, LOR_ACQ_CODE(0x91C, LOR_METHOD_OUT_DIRECT), {}, 4)
                           .RawRequest(0, LOR_PORT_CODE(0x903, LOR_METHOD_OUT_DIRECT), {}, 4)
                           .RawRequest(0, 0x9C40245A, {1, 2}, 2));
    add("read-only", Raw().Open(1).Open(2).Request(0, kNop, {}, 0).Request(1, kGetVersion, {}, 2));

    // Where the port lies.
    add("lpt2", Raw(2).Open().Request(0, kSetLines, {3}, 0).Request(0, kSetEppMode, {}, 0));
    add("lpt3-mapped", Raw(3, {0x81}, kMapped).Open().Request(0, kGetVersion, {}, 2));
    add("translation", Raw(4, {0x81}, kTranslationOffset)
                           .Open()
                           .Request(0, kPortRequest, Port(LOR_PORT_READ_UCHAR, 4, 0, 8), 1));
    {
        Encoder e;
        e.Machine(kTranslationFails, 3 /* REG_SZ */, 2, 0, {});
        e.Open().Request(0, kSetLines, {3}, 0);
        add("lpt-string", e);
    }
    {
        Encoder e;
        e.Machine(0x80 /* IoCreateDevice fails */, 0, 1, 0, {});
        e.Open();
        add("no-device", e);
    }

    // The parallel-port driver.
    add("parport-open", Parport().Open().Open().Request(0, kNop, {}, 0).Close(0).Close(0));
    add("parport-busy", Parport()
                            .ClientArrives(0, 0, Ms(300))
                            .TimePasses(1)
                            .Open()
                            .Request(0, kSetLines, {3}, 0)
                            .Close(0));
    add("parport-timeout", Parport().ClientArrives(0, 0, Ms(3000)).TimePasses(1).Open().Close(0));
    add("lending", Parport()
                       .Open()
                       .ClientArrives(0, 0, Ms(20))
                       .TimePasses(1)
                       .Request(0, kNop, {}, 0)
                       .Close(0));
    add("lending-overlap", Parport()
                               .Open()
                               .Open()
                               .ClientArrives(0, 0, Ms(50))
                               .TimePasses(1)
                               .Deferred(Ms(20))
                               .Request(1, kNop, {}, 0)
                               .Deferred(Ms(30))
                               .Close(1)
                               .Request(0, kGetVersion, {}, 2));
    add("open-during-open",
        Parport().ClientArrives(0, 0, Ms(100)).TimePasses(1).Deferred(Ms(20)).Open().Open());
    add("allocate-fails", Parport(1).ClientArrives(0, 0, Ms(100)).TimePasses(1).Open());
    add("free-late", Parport(2 << 2).ClientArrives(0, 0, Ms(10)).TimePasses(1).Open().Close(0));
    add("free-fails",
        Parport(1 << 2).ClientArrives(0, 0, Ms(10)).TimePasses(1).Open().Close(0).Open());
    add("grant-when-cancelled", Parport(0, kParport | kGrantWhenCancelled)
                                    .ClientArrives(0, 0, Ms(1500))
                                    .TimePasses(1)
                                    .Open()
                                    .Close(0));
    add("no-routines", Parport(0, kParport | kNoRoutines).Open().Request(0, kNop, {}, 0));

    // Injected faults.
    add("fault-lookup", Parport().Fault(kLookup).Open().Open());
    add("fault-lookup-no-file", Parport().Fault(kLookupWithoutFile).Open().Open());
    add("fault-info", Parport().Fault(8 /* ParallelPortInfo */).Open().Fault(kBuildRequest).Open());
    add("fault-pool", Parport().Fault(kPool).Open().Close(0));
    add("fault-irp", Parport()
                         .ClientArrives(0, 0, Ms(10))
                         .TimePasses(1)
                         .Open()
                         .Fault(kIrp)
                         .Close(0)
                         .Open()
                         .Close(0));
    add("fault-map", Raw()
                         .Open()
                         .Fault(kMapPages)
                         .Request(0, kGetVersion, {}, 2)
                         .Request(0, kGetVersion, {}, 2));
    return seeds;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: %s [--check] <corpus dir>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[argc - 1];
    const std::vector<Seed> seeds = Seeds();
    if (!check) {
        std::filesystem::create_directories(dir);
        for (const Seed& seed : seeds) {
            std::ofstream out(dir / ("seed-" + seed.name), std::ios::binary);
            out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                      static_cast<std::streamsize>(seed.bytes.size()));
        }
        std::printf("%zu seeds written to %s\n", seeds.size(), dir.c_str());
        return 0;
    }
    int problems = 0;
    std::set<std::string> expected;
    for (const Seed& seed : seeds) {
        const std::string name = "seed-" + seed.name;
        expected.insert(name);
        if (ReadFile(dir / name) != seed.bytes) {
            std::fprintf(stderr, "%s is missing or out of date\n", name.c_str());
            ++problems;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (expected.count(entry.path().filename().string()) == 0) {
            std::fprintf(stderr, "%s is not a seed\n", entry.path().filename().c_str());
            ++problems;
        }
    }
    if (problems != 0) {
        std::fprintf(stderr, "regenerate with: vexlor_fuzz_seeds %s\n", dir.c_str());
    }
    return problems == 0 ? 0 : 1;
}
