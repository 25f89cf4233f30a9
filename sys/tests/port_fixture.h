// The driver opened on the legacy LPT1 port, with a device on the bus at
// its five registers that a test scripts or lets stream long runs of bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "scripted_port.h"

namespace lpt1 {
// The registers of the port at the legacy base 0x378.
constexpr uint32_t kData = 0x378;
constexpr uint32_t kStatus = 0x379;
constexpr uint32_t kControl = 0x37A;
constexpr uint32_t kEppAddress = 0x37B;
constexpr uint32_t kEppData = 0x37C;
constexpr uint32_t kRegisterCount = 5;
} // namespace lpt1

// A scripted port whose reads of one address can instead come from a
// generator: the n-th read there (n from 0) returns Generate(n).  Long
// streams cost nothing to set up.
class StreamPort : public simpc::ScriptedPort {
  public:
    using Generator = std::function<uint8_t(uint64_t read_index)>;

    void Stream(uint32_t address, Generator generator) {
        stream_address_ = address;
        generator_ = std::move(generator);
        stream_reads_ = 0;
    }

    uint32_t Read(uint32_t address, int width) override {
        if (generator_ && address == stream_address_) {
            return generator_(stream_reads_++);
        }
        return ScriptedPort::Read(address, width);
    }

  private:
    uint32_t stream_address_ = 0;
    Generator generator_;
    uint64_t stream_reads_ = 0;
};

class PortTest : public DriverTest {
  protected:
    void SetUp() override {
        Load(1);
        handle_ = OpenAtLegacyLpt1();
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }

    // Opens the device where the open finds LPT1 without the parallel-port
    // driver: data register at 0x378, EPP address register at 0x37B.  The
    // trace starts empty after the open.
    HANDLE OpenAtLegacyLpt1() {
        pc_.bus().Attach(lpt1::kData, lpt1::kRegisterCount, port_);
        HANDLE handle = Open();
        if (handle == INVALID_HANDLE_VALUE) {
            return handle;
        }
        Extension()->PortInfo.Controller = reinterpret_cast<PUCHAR>(uintptr_t{lpt1::kData});
        Extension()->EppPort = reinterpret_cast<PUCHAR>(uintptr_t{lpt1::kEppAddress});
        pc_.bus().ClearTrace();
        return handle;
    }

    // Sends IOCTL_LOR_PORT_REQUEST with the first input_length bytes of the
    // record, into an output of exactly output_length bytes.
    Reply PortRequest(uint32_t function, uint32_t register_, uint32_t value, DWORD input_length,
                      DWORD output_length, uint32_t* result = nullptr) {
        LorPortRequest request{function, register_, {0}};
        request.Value.Ulong = value;
        auto input = std::make_unique<uint8_t[]>(input_length);
        std::memcpy(input.get(), &request,
                    input_length < sizeof(request) ? input_length : sizeof(request));
        auto output = std::make_unique<uint8_t[]>(output_length);
        const Reply reply = Control(handle_, IOCTL_LOR_PORT_REQUEST, input.get(), input_length,
                                    output.get(), output_length);
        if (result != nullptr) {
            *result = 0;
            std::memcpy(result, output.get(), output_length < 4 ? output_length : 4);
        }
        return reply;
    }

    // Writes one byte with LOR_PORT_WRITE_UCHAR, then forgets its bus events.
    void WriteRegister(uint32_t register_, uint8_t value) {
        ASSERT_TRUE(PortRequest(LOR_PORT_WRITE_UCHAR, register_, value, 9, 0).ok);
        pc_.bus().ClearTrace();
    }

    // Bus events of one kind, at one address or (address 0) anywhere.
    size_t CountOf(simpc::BusEvent::Kind kind, uint32_t address = 0) {
        size_t count = 0;
        for (const simpc::BusEvent& event : pc_.bus().Trace()) {
            count += event.kind == kind && (address == 0 || event.address == address) ? 1 : 0;
        }
        return count;
    }

    std::vector<uint8_t> ExtensionBytes() {
        const auto* bytes = reinterpret_cast<const uint8_t*>(Extension());
        return std::vector<uint8_t>(bytes, bytes + sizeof(LorDeviceExtension));
    }

    std::shared_ptr<StreamPort> port_ = std::make_shared<StreamPort>();
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A buffer of exactly `length` bytes, every byte `fill`, so that a write
// past its end is an overflow under AddressSanitizer.
inline std::unique_ptr<uint8_t[]> Filled(size_t length, uint8_t fill) {
    auto buffer = std::make_unique<uint8_t[]>(length);
    std::memset(buffer.get(), fill, length);
    return buffer;
}
