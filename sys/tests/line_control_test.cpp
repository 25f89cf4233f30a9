// Line control: the attach, detach and idle sequences as exact bus traces,
// the saved control register, and IOCTL_LOR_SET_LINES.
#include <memory>

#include "driver_fixture.h"
#include "scripted_port.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

// The pulse that strobes a line code into the device, for LPT1 at 0x378.
std::vector<std::string> Pulse(const char* code) {
    return {"W1 37A 0E", std::string("W1 378 ") + code, "W1 37A 0F", "STALL 10", "W1 37A 0E",
            "W1 37A 04"};
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class LineControlTest : public DriverTest {
  protected:
    void SetUp() override {
        Load(1);
        // LPT1 without a parallel-port driver: raw access at 0x378.
        port_ = std::make_shared<simpc::ScriptedPort>(0x00);
        port_->Hold(0x37A, 0x2C);  // the control value another client left
        pc_.bus().Attach(0x378, 8, port_);
        handle_ = Open();
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
        pc_.bus().ClearTrace();
        pc_.ClearDriverTraces();
    }

    Reply SetLines(uint8_t command) {
        auto input = std::make_unique<uint8_t[]>(1);
        input[0] = command;
        return Control(handle_, IOCTL_LOR_SET_LINES, input.get(), 1, nullptr, 0);
    }

    std::shared_ptr<simpc::ScriptedPort> port_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(LineControlTest, AttachThenDetachRestoresTheControlRegister) {
    EXPECT_TRUE(SetLines(LOR_LINES_ATTACH).ok);
    EXPECT_THAT(BusTrace(), ElementsAreArray(Concat({{"R1 37A 2C"}, Pulse("7F")})));
    pc_.bus().ClearTrace();

    const Reply reply = SetLines(LOR_LINES_DETACH);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_THAT(BusTrace(), ElementsAreArray(Concat({Pulse("FE"), {"W1 37A 2C"}})));
    EXPECT_EQ(pc_.bus().Read(0x37A, 1), 0x2Cu);
    EXPECT_EQ(pc_.bus().Read(0x378, 1), 0xFEu);
    EXPECT_THAT(pc_.DriverTraces(), IsEmpty());
}

TEST_F(LineControlTest, AttachFFSendsCodeFF) {
    EXPECT_TRUE(SetLines(LOR_LINES_ATTACH_FF).ok);
    EXPECT_THAT(BusTrace(), ElementsAreArray(Concat({{"R1 37A 2C"}, Pulse("FF")})));
}

TEST_F(LineControlTest, DetachWithNothingSavedTouchesNoRegister) {
    EXPECT_TRUE(SetLines(LOR_LINES_DETACH).ok);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(LineControlTest, SecondAttachWarnsAndTheFirstSavedValueWins) {
    EXPECT_TRUE(SetLines(LOR_LINES_ATTACH).ok);
    port_->Hold(0x37A, 0x35);  // would be saved if the register were read again
    pc_.bus().ClearTrace();
    EXPECT_TRUE(SetLines(LOR_LINES_ATTACH_FF).ok);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAre("[SetLOR] - Warning still saved register!!!"));
    EXPECT_THAT(BusTrace(), ElementsAreArray(Pulse("FF")));

    pc_.bus().ClearTrace();
    EXPECT_TRUE(SetLines(LOR_LINES_DETACH).ok);
    EXPECT_EQ(BusTrace().back(), "W1 37A 2C");
}

TEST_F(LineControlTest, IdleWritesItsThreeRegistersAndKeepsTheSavedState) {
    EXPECT_TRUE(SetLines(LOR_LINES_ATTACH).ok);
    pc_.bus().ClearTrace();
    EXPECT_TRUE(SetLines(LOR_LINES_IDLE).ok);
    EXPECT_THAT(BusTrace(), ElementsAre("W1 378 FF", "W1 37A 04", "W1 379 FF"));
    pc_.bus().ClearTrace();
    EXPECT_TRUE(SetLines(LOR_LINES_DETACH).ok);
    EXPECT_THAT(BusTrace(), ElementsAreArray(Concat({Pulse("FE"), {"W1 37A 2C"}})));
}

TEST_F(LineControlTest, OtherCommandsSucceedWithoutAnyPortAccess) {
    for (int command = 4; command <= 255; ++command) {
        const Reply reply = SetLines(static_cast<uint8_t>(command));
        ASSERT_TRUE(reply.ok) << "command " << command;
        ASSERT_EQ(reply.bytes, 0u);
    }
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(LineControlTest, RequestWithoutItsCommandByteIsRefused) {
    uint8_t output[4] = {};
    const Reply reply = Control(handle_, IOCTL_LOR_SET_LINES, nullptr, 0, output, sizeof(output));
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(LineControlTest, SavedStateDoesNotSurviveAReloadOfTheDriver) {
    EXPECT_TRUE(SetLines(LOR_LINES_ATTACH).ok);
    Close(handle_);
    ASSERT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    handle_ = Open();
    pc_.bus().ClearTrace();
    // A fresh image has nothing saved: the detach does nothing.
    EXPECT_TRUE(SetLines(LOR_LINES_DETACH).ok);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

}  // namespace
