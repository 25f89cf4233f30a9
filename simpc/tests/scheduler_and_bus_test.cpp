// Virtual time and the port bus: events in time order, stalls that spend
// time without running events, the ordered access trace, and unclaimed
// addresses reading as a floating bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ntddk.h"
#include "scripted_port.h"
#include "simpc/pc.h"

using ::testing::ElementsAre;

namespace {

TEST(Scheduler, RunsEventsInTimeOrderAndSameTimeInInsertionOrder) {
    simpc::Scheduler clock;
    std::vector<std::string> order;
    clock.At(300, [&] { order.push_back("c@300"); });
    clock.At(100, [&] { order.push_back("a@100"); });
    clock.At(100, [&] { order.push_back("b@100"); });
    clock.RunUntil(200);
    EXPECT_THAT(order, ElementsAre("a@100", "b@100"));
    EXPECT_EQ(clock.Now(), 200u);
    // An event scheduled while another runs takes its turn in time.
    clock.At(250, [&] { clock.After(10, [&] { order.push_back("d@260"); }); });
    clock.RunAll();
    EXPECT_THAT(order, ElementsAre("a@100", "b@100", "d@260", "c@300"));
    EXPECT_EQ(clock.Now(), 300u);
}

TEST(PortBus, TracesAccessesAndStallsInOrderWithTheirTimes) {
    simpc::Pc pc;
    auto port = std::make_shared<simpc::ScriptedPort>(0x00);
    port->Queue(0x379, 0x7F);
    pc.bus().Attach(0x378, 8, port);
    bool event_ran = false;
    pc.clock().After(5000, [&] { event_ran = true; });

    WRITE_PORT_UCHAR(reinterpret_cast<PUCHAR>(0x37A), 0x0E);
    KeStallExecutionProcessor(10);
    EXPECT_EQ(READ_PORT_UCHAR(reinterpret_cast<PUCHAR>(0x379)), 0x7F);
    WRITE_PORT_USHORT(reinterpret_cast<PUSHORT>(0x37B), 0x1234);
    EXPECT_EQ(READ_PORT_ULONG(reinterpret_cast<PULONG>(0x2F8)), 0xFFFFFFFFu);  // nobody there

    EXPECT_THAT(simpc::ToStrings(pc.bus().Trace()),
                ElementsAre("W1 37A 0E", "STALL 10", "R1 379 7F", "W2 37B 1234", "R4 2F8 FFFFFFFF"));
    EXPECT_EQ(pc.bus().Trace()[2].time, 10000u);
    // A busy wait lets no other activity run.
    EXPECT_FALSE(event_ran);
    EXPECT_TRUE(pc.verifier().Clean());
}

TEST(PortBus, LaterAttachmentWinsWhereRangesOverlap) {
    simpc::Pc pc;
    pc.bus().Attach(0x378, 8, std::make_shared<simpc::ScriptedPort>(0x11));
    pc.bus().Attach(0x37C, 1, std::make_shared<simpc::ScriptedPort>(0x22));
    EXPECT_EQ(pc.bus().Read(0x37B, 1), 0x11u);
    EXPECT_EQ(pc.bus().Read(0x37C, 1), 0x22u);
}

TEST(HalTranslation, IsaIoSpaceIsIdentityAndATestCanMapElsewhere) {
    simpc::Pc pc;
    PHYSICAL_ADDRESS bus;
    bus.QuadPart = 0x378;
    PHYSICAL_ADDRESS translated;
    ULONG space = 1;
    EXPECT_TRUE(HalTranslateBusAddress(Isa, 0, bus, &space, &translated));
    EXPECT_EQ(translated.QuadPart, 0x378);
    EXPECT_EQ(space, 1u);

    pc.SetBusTranslator([](int, uint32_t, uint64_t address, uint32_t*, uint64_t* out) {
        *out = address + 0xE000;
        return true;
    });
    EXPECT_TRUE(HalTranslateBusAddress(Isa, 0, bus, &space, &translated));
    EXPECT_EQ(translated.QuadPart, 0xE378);
}

}  // namespace
