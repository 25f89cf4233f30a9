// A caller's buffer as the fuzzer hands it to DeviceIoControl: its own
// heap block of exactly the request's length, filled from the input, with a
// copy to tell whether anything changed it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"

namespace vexlor_fuzz {

// FillByte over the lengths that requests mostly have, computed once.
struct Filler {
    static const Filler& Get() {
        static const Filler filler;
        return filler;
    }
    Filler() : bytes(0x20000) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = FillByte(static_cast<uint32_t>(i));
        }
    }
    std::vector<uint8_t> bytes;
};

// AddressSanitizer reports any byte read or written outside the block.
struct CallerBuffer {
    CallerBuffer(uint32_t length, const std::vector<uint8_t>& head) : length(length) {
        if (length == 0) {
            return;
        }
        bytes = static_cast<uint8_t*>(std::malloc(length));
        const Filler& filler = Filler::Get();
        std::memcpy(bytes, filler.bytes.data(),
                    length < filler.bytes.size() ? length : filler.bytes.size());
        for (uint32_t i = static_cast<uint32_t>(filler.bytes.size()); i < length; ++i) {
            bytes[i] = FillByte(i);
        }
        std::memcpy(bytes, head.data(), head.size());
        copy.assign(bytes, bytes + length);
    }
    ~CallerBuffer() { std::free(bytes); }
    CallerBuffer(const CallerBuffer&) = delete;
    CallerBuffer& operator=(const CallerBuffer&) = delete;

    bool Unchanged() const { return length == 0 || std::memcmp(bytes, copy.data(), length) == 0; }

    uint32_t length;
    uint8_t* bytes = nullptr;
    std::vector<uint8_t> copy;
};

}  // namespace vexlor_fuzz
