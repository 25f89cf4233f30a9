// A simulated PC whose LPT1 belongs to the system parallel-port driver, with
// the vexlor driver installed: the setting in which vexlor shares the port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "parallel_port_driver.h"
#include "scripted_port.h"

class ParportTest : public DriverTest {
  protected:
    static constexpr simpc::Nanoseconds kMillisecond = 1000 * 1000;
    static constexpr simpc::Nanoseconds kSecond = 1000 * kMillisecond;

    void SetUp() override {
        parport_ = std::make_unique<simpc::ParallelPortDriver>(
            pc_, std::vector<simpc::ParallelPortConfig>{{0x378, 0x378, 8}});
        // The port's registers; the control register as another client left it.
        lines_ = std::make_shared<simpc::ScriptedPort>(0x00);
        lines_->Hold(0x37A, 0x2C);
        pc_.bus().Attach(0x378, 8, lines_);
        Load(1);
        pc_.ClearDriverTraces();
    }

    void TearDown() override {
        DriverTest::TearDown();
        EXPECT_EQ(parport_->AccessesWithoutGrant(0), 0u) << "vexlor touched the port without a grant";
        parport_.reset();
    }

    // The attach and detach sequences of LPT1, as the bus sees them.
    static std::vector<std::string> AttachTrace() {
        return {"R1 37A 2C", "W1 37A 0E", "W1 378 7F", "W1 37A 0F",
                "STALL 10",  "W1 37A 0E", "W1 37A 04"};
    }
    static std::vector<std::string> DetachTrace() {
        return {"W1 37A 0E", "W1 378 FE", "W1 37A 0F", "STALL 10",
                "W1 37A 0E", "W1 37A 04", "W1 37A 2C"};
    }

    // What the open's traces are when the port is found and acquired by try.
    static std::vector<std::string> FirstOpenByTryTraces() {
        return {"[W2000+] LORDispatchOpenCreate - QueryParallelDriver ...",
                "LPT = 0\n",
                "Port Name: \\Device\\ParallelPort0\n",
                "OK\n",
                "Parport opened correctly -> using correct access/n",
                "[W2000+] - Trying allocate port from Parralell driver...",
                "OK port mapped by 'TryAllocatePort()'\n",
                "OK\n"};
    }

    Reply Nop(HANDLE handle) { return Control(handle, IOCTL_LOR_NOP, nullptr, 0, nullptr, 0); }

    std::unique_ptr<simpc::ParallelPortDriver> parport_;
    std::shared_ptr<simpc::ScriptedPort> lines_;
};
