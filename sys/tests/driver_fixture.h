// A simulated PC with the vexlor driver installed, and the calls an
// application makes on it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lor_driver.h"
#include "simpc/pc.h"
#include "vexlor_ioctl.h"
#include "windows.h"

class DriverTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (HANDLE handle : open_handles_) {
            CloseHandle(handle);
        }
        open_handles_.clear();
        if (pc_.loader().IsLoaded("vexlor")) {
            EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
        }
        EXPECT_THAT(pc_.verifier().Findings(), ::testing::IsEmpty());
    }

    // Installs the driver with Lpt (or without, for lpt < 0) and loads it.
    void Load(int lpt = 1) {
        pc_.InstallDriver("vexlor", VEXLOR_IMAGE, lpt);
        ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    }

    HANDLE Open(DWORD access = GENERIC_READ | GENERIC_WRITE) {
        HANDLE handle = CreateFileA(LOR_WIN32_DEVICE_PATH, access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            open_handles_.push_back(handle);
        }
        return handle;
    }

    void Close(HANDLE handle) {
        for (auto it = open_handles_.begin(); it != open_handles_.end(); ++it) {
            if (*it == handle) {
                open_handles_.erase(it);
                break;
            }
        }
        EXPECT_TRUE(CloseHandle(handle));
    }

    PDEVICE_OBJECT Device() { return pc_.objects().ResolveDevice(LOR_NT_DEVICE_NAME); }

    LorDeviceExtension* Extension() {
        PDEVICE_OBJECT device = Device();
        return device == nullptr ? nullptr
                                 : static_cast<LorDeviceExtension*>(device->DeviceExtension);
    }

    // The result of one DeviceIoControl call.
    struct Reply {
        BOOL ok;
        DWORD error;  // GetLastError() when !ok, else 0
        DWORD bytes;
    };

    Reply Control(HANDLE handle, DWORD code, void* input, DWORD input_length, void* output,
                  DWORD output_length) {
        DWORD bytes = 0xDEADBEEF;
        SetLastError(0);
        BOOL ok = DeviceIoControl(handle, code, input, input_length, output, output_length, &bytes,
                                  nullptr);
        return Reply{ok, ok ? 0u : GetLastError(), bytes};
    }

    std::vector<std::string> BusTrace() { return simpc::ToStrings(pc_.bus().Trace()); }

    simpc::Pc pc_;
    std::vector<HANDLE> open_handles_;
};
