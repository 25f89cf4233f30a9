// A whole application session on the simulated PC: the parallel-port
// driver owns LPT1, the port is ECP hardware with the acquisition device on
// its EPP bus, and the application goes through open, EPP mode, register
// selection, EEPROM, bit-serial output, a triggered capture, a read until
// stop and close.
#include <memory>

#include "acquisition_bench.h"
#include "parallel_port_driver.h"
#include "periodic_signal_generator.h"
#include "driver_fixture.h"

namespace {

class DeviceSessionTest : public DriverTest {
  protected:
    void SetUp() override {
        parport_ = std::make_unique<simpc::ParallelPortDriver>(
            pc_, std::vector<simpc::ParallelPortConfig>{{0x378, 0x378, 8}});
        bench_ = simpc::AttachAcquisitionDevice(pc_, 0x378, true);
        Load(1);
        handle_ = Open();
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }

    void TearDown() override {
        DriverTest::TearDown();
        EXPECT_EQ(parport_->AccessesWithoutGrant(0), 0u);
        parport_.reset();
    }

    // Selects a device register: an 8-bit write to the EPP address register.
    void Select(uint8_t index) {
        LorPortRequest request = {LOR_PORT_WRITE_UCHAR, LOR_REGISTER_EPP_ADDRESS, {0}};
        request.Value.Uchar = index;
        ASSERT_TRUE(Control(handle_, IOCTL_LOR_PORT_REQUEST, &request, 9, nullptr, 0).ok);
        ASSERT_EQ(bench_.device->SelectedIndex(), index);
    }

    uint16_t ReadEeprom(uint16_t address) {
        uint8_t buffer[2] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
        const Reply reply = Control(handle_, IOCTL_LOR_READ_EEPROM, buffer, 2, buffer, 2);
        EXPECT_TRUE(reply.ok);
        EXPECT_EQ(reply.bytes, 2u);
        return static_cast<uint16_t>(buffer[0] | buffer[1] << 8);
    }

    std::unique_ptr<simpc::ParallelPortDriver> parport_;
    simpc::AcquisitionBench bench_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(DeviceSessionTest, WholeSessionGivesWhatTheDeviceHoldsAndReceives) {
    // The port came up in PS/2 mode: no EPP cycle reaches the device yet.
    ASSERT_FALSE(bench_.port->EppCyclesEnabled());
    ASSERT_TRUE(Control(handle_, IOCTL_LOR_SET_EPP_MODE, nullptr, 0, nullptr, 0).ok);
    EXPECT_TRUE(bench_.port->EppCyclesEnabled());

    uint8_t version[2] = {0, 0};
    ASSERT_TRUE(Control(handle_, IOCTL_LOR_GET_VERSION, nullptr, 0, version, 2).ok);
    EXPECT_EQ(version[0], 2);
    EXPECT_EQ(version[1], 4);

    // EEPROM: a serial number in words 0 and 1.
    bench_.device->eeprom().SetWord(0, 0x2026);
    bench_.device->eeprom().SetWord(1, 0x1211);
    bench_.device->eeprom().SetWord(63, 0xBEEF);
    Select(0x0E);
    EXPECT_EQ(ReadEeprom(0), 0x2026);
    EXPECT_EQ(ReadEeprom(1), 0x1211);
    EXPECT_EQ(ReadEeprom(0xFFFF), 0xBEEF);  // only the low six address bits count

    // A configuration shifted out bit by bit arrives bit for bit.
    Select(0x0F);
    const std::vector<uint8_t> configuration = {0xA5, 0x00, 0xFF, 0x3C, 0x81};
    auto out = std::make_unique<uint8_t[]>(configuration.size());
    std::copy(configuration.begin(), configuration.end(), out.get());
    ASSERT_TRUE(Control(handle_, IOCTL_LOR_SHIFT_OUT, nullptr, 0, out.get(),
                        static_cast<DWORD>(configuration.size()))
                    .ok);
    EXPECT_EQ(bench_.device->serial_input().Bytes(), configuration);
    EXPECT_EQ(bench_.device->serial_input().BitsReceived(), 8 * configuration.size());

    // A triggered capture of the generator's signal.
    simpc::PeriodicSignalGenerator reference({250, 0x80});
    bench_.device->samples().PlayFrames(
        std::make_shared<simpc::PeriodicSignalGenerator>(simpc::PeriodicSignalGenerator::Config{250, 0x80}));
    Select(0x0D);
    auto capture = std::make_unique<uint8_t[]>(LOR_SAMPLE_BUFFER_SIZE);
    ASSERT_TRUE(Control(handle_, IOCTL_LOR_CAPTURE_TRIGGERED, nullptr, 0, capture.get(),
                        LOR_SAMPLE_BUFFER_SIZE)
                    .ok);
    // Pass s reads sample s; the first waiting pass with a trigger is the trigger pass.
    uint32_t trigger_pass = 769;
    while (trigger_pass < 32768 && !(reference.At(trigger_pass).trigger & 1)) {
        ++trigger_pass;
    }
    ASSERT_LT(trigger_pass, 32768u);
    for (uint32_t pass = 769; pass < 32768; ++pass) {
        const uint32_t position = pass - 768;
        const simpc::Sample expected =
            pass <= trigger_pass ? simpc::Sample{} : reference.At(pass);
        ASSERT_EQ(capture[position], expected.first) << "position " << position;
        ASSERT_EQ(capture[LOR_PLANE_DISTANCE + position], expected.second) << "position "
                                                                           << position;
    }
    // The trigger step disarmed the capture control register.
    EXPECT_EQ(bench_.device->RegisterAt(4).value & 0x80, 0);

    // A read ended by the device's stop flag.
    std::vector<simpc::Sample> pairs;
    for (uint8_t i = 0; i < 100; ++i) {
        pairs.push_back({i, static_cast<uint8_t>(0xFF - i), 0});
    }
    bench_.device->samples().PlayFlaggedPairs(pairs);
    auto samples = std::make_unique<uint8_t[]>(LOR_SAMPLE_BUFFER_SIZE);
    ASSERT_TRUE(Control(handle_, IOCTL_LOR_READ_UNTIL_STOP, nullptr, 0, samples.get(),
                        LOR_SAMPLE_BUFFER_SIZE)
                    .ok);
    EXPECT_EQ(samples[0] | samples[1] << 8, 100);
    EXPECT_EQ(samples[LOR_PLANE_DISTANCE], 1);
    for (int k = 0; k < 100; ++k) {
        ASSERT_EQ(samples[2 + k], k);
        ASSERT_EQ(samples[LOR_PLANE_DISTANCE + 2 + k], 0xFF - k);
    }

    Close(handle_);
    EXPECT_EQ(parport_->Holder(0), "");
}

}  // namespace
