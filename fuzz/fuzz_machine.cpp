// The machine that a scenario's setup describes: the HAL's translation,
// the system parallel-port driver and its behaviour, the port's hardware
// at the registers the driver may use, the registry value Lpt; and the
// driver's load into it.
#include "driver_image.h"
#include "fuzz_session.h"
#include "oracle.h"

namespace vexlor_fuzz {

namespace {

constexpr simpc::Nanoseconds kMillisecond = 1000 * 1000;
constexpr uint32_t kTranslationOffset = 0x1000;
constexpr uint32_t kRegisterCount = 5;
constexpr uint32_t kEcrOffset = 0x402;

// Where LPT<n> lies when no parallel-port driver answers for it.
uint32_t LegacyBase(uint32_t lpt) {
    switch (lpt) {
        case 2:
            return 0x278;
        case 3:
            return 0x3F8;
        case 4:
            return 0x2F8;
        default:
            return 0x378;
    }
}

// The port number that the driver reads: the registry value when it is a
// four-byte REG_DWORD and the driver gets the pool to ask for it, else 1.
uint32_t EffectiveLpt(const Setup& setup) {
    return setup.lpt_kind == LptKind::kDword && setup.load_fault != LoadFault::kPool ? setup.lpt
                                                                                     : 1;
}

}  // namespace

uint32_t Session::Translated(uint32_t bus_address) const {
    const Setup& setup = scenario_.setup;
    return !setup.translation_fails && setup.translation_offset ? bus_address + kTranslationOffset
                                                                : bus_address;
}

void Session::AttachPort(uint32_t base) {
    watch_.AllowPort(base);
    pc_.bus().Attach(base, kRegisterCount, port_);
    pc_.bus().Attach(base + kEcrOffset, 1, port_);
}

void Session::BuildMachine() {
    const Setup& setup = scenario_.setup;
    pc_.bus().SetTracing(false);
    mdls_mapped_ = setup.mdls_mapped;
    pc_.io().SetOutputMdlsMapped(mdls_mapped_);
    if (setup.translation_fails) {
        pc_.SetBusTranslator([](int, uint32_t, uint64_t, uint32_t*, uint64_t* translated) {
            *translated = 0;
            return false;
        });
    } else if (setup.translation_offset) {
        pc_.SetBusTranslator([](int interface_type, uint32_t bus_number, uint64_t bus_address,
                                uint32_t* address_space, uint64_t* translated) {
            const bool io = interface_type == Isa && bus_number == 0 && *address_space == 1;
            *translated = io ? bus_address + kTranslationOffset : 0;
            return io;
        });
    }

    const uint32_t lpt = EffectiveLpt(setup);
    AttachPort(Translated(LegacyBase(lpt)));
    if (setup.parport_present) {
        std::vector<simpc::ParallelPortConfig> ports;
        for (int i = 0; i < setup.port_count; ++i) {
            const uint32_t base = kPortBases[(setup.first_base + i) % 4];
            ports.push_back(simpc::ParallelPortConfig{base, Translated(base), 8});
        }
        parport_ = std::make_unique<simpc::ParallelPortDriver>(pc_, ports);
        for (int i = 0; i < setup.port_count; ++i) {
            parport_->ReplyWithoutRoutines(i, setup.reply_without_routines);
            parport_->GrantWhenCancelled(i, setup.grant_when_cancelled);
        }
        ApplyArbitration(static_cast<uint8_t>(static_cast<uint8_t>(setup.allocate) |
                                              (static_cast<uint8_t>(setup.free) << 2)));
        // Only the port that LPT<n> names is the driver's; the others are not.
        if (lpt >= 1 && lpt <= static_cast<uint32_t>(setup.port_count)) {
            AttachPort(ports[lpt - 1].controller);
        }
    }
    port_->SetAnswers(setup.answers);
    watch_.Watch(pc_.bus());
    WriteLptValue();
}

void Session::WriteLptValue() {
    const Setup& setup = scenario_.setup;
    const std::string key = simpc::Pc::ServiceKey("vexlor");
    const std::string parameters = key + "\\Parameters";
    pc_.registry().CreateKey(key);
    const uint32_t n = setup.lpt;
    const std::vector<uint8_t> le = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                     static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
    switch (setup.lpt_kind) {
        case LptKind::kDword:
            pc_.registry().SetValue(parameters, "Lpt", simpc::RegistryValue::Dword(n));
            break;
        case LptKind::kNoKey:
            break;
        case LptKind::kNoValue:
            pc_.registry().CreateKey(parameters);
            break;
        case LptKind::kString:
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::String(std::to_string(n)));
            break;
        case LptKind::kShortBinary:
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::Binary({le[0], le[1]}));
            break;
        case LptKind::kLongBinary: {
            std::vector<uint8_t> bytes = le;
            bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xFF});
            pc_.registry().SetValue(parameters, "Lpt", simpc::RegistryValue::Binary(bytes));
            break;
        }
        case LptKind::kQword: {
            std::vector<uint8_t> bytes = le;
            bytes.insert(bytes.end(), {0, 0, 0, 0});
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::Binary(bytes, 11 /* REG_QWORD */));
            break;
        }
        case LptKind::kEmptyDword:
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::Binary({}, 4 /* REG_DWORD */));
            break;
    }
}

void Session::ApplyArbitration(uint8_t byte) {
    static const NTSTATUS kAllocateStatus[4] = {STATUS_SUCCESS, STATUS_UNSUCCESSFUL,
                                                STATUS_CANCELLED, STATUS_DEVICE_BUSY};
    const int free = (byte >> 2) & 3;
    for (int i = 0; i < static_cast<int>(parport_->PortCount()); ++i) {
        parport_->FailAllocateRequestsWith(i, kAllocateStatus[byte & 3]);
        parport_->FailFreeRequestsWith(i, free == 1 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS);
        parport_->DelayFreeRequests(i, free == 2   ? 1500 * kMillisecond
                                       : free == 3 ? 10 * kMillisecond
                                                   : 0);
    }
}

void Session::LoadDriver() {
    switch (scenario_.setup.load_fault) {
        case LoadFault::kNone:
            break;
        case LoadFault::kPool:
            pc_.faults().FailNext(simpc::FaultPoint::PoolAllocation);
            break;
        case LoadFault::kCreateDevice:
            pc_.faults().FailNext(simpc::FaultPoint::CreateDevice);
            break;
        case LoadFault::kCreateSymbolicLink:
            pc_.faults().FailNext(simpc::FaultPoint::CreateSymbolicLink);
            break;
    }
    const DriverImage& image = DriverImage::Get(image_path_);
    image.RestoreData();
    const NTSTATUS status = pc_.loader().LoadBuiltin("vexlor", image.Entry());
    if (status != STATUS_SUCCESS) {
        Crash("DriverEntry returned " + Hex(static_cast<uint32_t>(status)));
    }
    pc_.faults().Clear();
    CheckFindings(pc_, "at load");
}

}  // namespace vexlor_fuzz
