// The fuzzer's input format: how a byte string becomes one scenario on the
// simulated PC - the machine's setup, then a sequence of operations that an
// application, the other clients of the port and the hardware perform.
//
// Multi-byte numbers are little-endian.  Reading past the end of the input
// yields zero bytes; the operation list ends where the input ends (or after
// kMaxOperations).  Every byte string decodes to a valid scenario.
//
// Setup, 8 bytes, then the hardware's answer stream:
//   [0] machine flags
//       bit 0    the system parallel-port driver is present
//       bit 1    output MDLs arrive mapped to system space
//       bit 2    the parallel-port driver's reply carries no routines
//       bit 3    a cancelled allocate request is granted all the same
//       bit 4    the HAL cannot translate bus addresses
//       bit 5    the HAL puts ISA I/O space 0x1000 higher
//       bits 6-7 fault while the driver loads: none, pool, IoCreateDevice,
//                IoCreateSymbolicLink
//   [1] bits 0-2 the registry value Lpt (LptKind)
//       bits 3-4 the parallel-port driver's port count - 1
//       bits 5-6 the base of port 0 (kPortBases); port i has the next ones
//   [2..5] the Lpt number
//   [6] bits 0-1 how allocate requests complete (AllocateBehaviour)
//       bits 2-3 how free requests complete (FreeBehaviour)
//   [7] n, then n bytes: the answer stream.  Every port read takes the next
//       bytes of the stream (a 16-bit read two, a 32-bit read four, low byte
//       first), starting over at its end; an empty stream reads 0xFF.
//
// Operations, each an opcode byte (its low 4 bits) and its fields:
//   0      open: access byte (low 2 bits: read+write, read, write, none)
//   1      close: handle byte (index into the open handles, modulo)
//   2-9    request: handle byte, code (below), input length (below),
//          min(input length, 16) bytes of input, output length, min(output
//          length, 8) bytes of output.  The rest of each buffer is filled
//          with FillByte(offset).
//   10     fault: point byte (modulo kFaultPointCount), skip byte (low 2 bits)
//   11     time passes: 16-bit count of 100 us
//   12     another client asks for a port: port byte, 16-bit delay and
//          16-bit hold, in 100 us
//   13     the answer stream is replaced: n, then n bytes
//   14     a deferred application call: 16-bit delay in 100 us, then an
//          opcode byte whose low 2 bits select open (0), close (1) or
//          request (2, 3), and that operation's fields.  It runs in virtual
//          time, possibly while the driver waits inside another call.
//   15     the parallel-port driver changes: byte as setup byte [6], and
//          bit 4 toggles whether output MDLs arrive mapped
//
// Request code: a selector byte s (low 5 bits)
//   0-14   the request table's code s
//   15     a table code (next byte modulo 15) one function below or above
//          (bit 7 of that byte)
//   16     a table code (next byte modulo 15) with the method of the
//          following byte's low 2 bits
//   17     a table code (next byte modulo 15) with the access of the
//          following byte's low 2 bits
//   18     a table code (next byte modulo 15) with the other family's type
//   19     any code: the next 4 bytes
//   20-30  IOCTL_LOR_PORT_REQUEST whose input starts with sub-function s-20
//          of the sub-function table (over the first input bytes)
//   31     a table code, next byte modulo 15
//
// Length: a byte b
//   0-0xDF       b
//   0xE0-0xF7    kInterestingLengths[b - 0xE0]
//   0xF8-0xFB    a 16-bit length follows
//   0xFC-0xFF    0x10000 + a 16-bit number that follows
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexlor_fuzz {

constexpr size_t kMaxOperations = 48;
constexpr size_t kMaxHandles = 8;
constexpr size_t kInputHeadMax = 16;
constexpr size_t kOutputHeadMax = 8;
constexpr int kFaultPointCount = 9;  // simpc::FaultPoint, in its order

constexpr uint32_t kPortBases[4] = {0x378, 0x278, 0x3BC, 0x2F8};

extern const uint32_t kTableCodes[15];
extern const uint32_t kSubFunctions[11];
extern const uint32_t kInterestingLengths[24];

// Content of a caller buffer beyond the bytes the input gives.
inline uint8_t FillByte(uint32_t offset) {
    return static_cast<uint8_t>(0xA5 ^ (offset * 7));
}

enum class LptKind : uint8_t {
    kDword,        // REG_DWORD, the Lpt number
    kNoKey,        // no Parameters key
    kNoValue,      // the key without the value
    kString,       // REG_SZ of the number's digits
    kShortBinary,  // REG_BINARY of 2 bytes
    kLongBinary,   // REG_BINARY of 8 bytes
    kQword,        // REG_QWORD
    kEmptyDword,   // REG_DWORD of no bytes
};

enum class LoadFault : uint8_t { kNone, kPool, kCreateDevice, kCreateSymbolicLink };

enum class AllocateBehaviour : uint8_t {
    kNormal,        // granted when the port is free, queued otherwise
    kUnsuccessful,  // completed at once with STATUS_UNSUCCESSFUL
    kCancelled,     // completed at once with STATUS_CANCELLED
    kBusyWarning,   // completed at once with STATUS_DEVICE_BUSY (a warning)
};

enum class FreeBehaviour : uint8_t {
    kNormal,    // gives the grant back at once
    kFails,     // completes with STATUS_UNSUCCESSFUL and keeps the grant
    kLate,      // pending for 1.5 s
    kSlightly,  // pending for 10 ms
};

struct Setup {
    bool parport_present = false;
    bool mdls_mapped = false;
    bool reply_without_routines = false;
    bool grant_when_cancelled = false;
    bool translation_fails = false;
    bool translation_offset = false;
    LoadFault load_fault = LoadFault::kNone;
    LptKind lpt_kind = LptKind::kDword;
    uint32_t lpt = 1;
    int port_count = 1;
    int first_base = 0;  // index into kPortBases
    AllocateBehaviour allocate = AllocateBehaviour::kNormal;
    FreeBehaviour free = FreeBehaviour::kNormal;
    std::vector<uint8_t> answers;
};

struct Request {
    uint8_t handle = 0;
    uint32_t code = 0;
    uint32_t input_length = 0;
    std::vector<uint8_t> input_head;  // min(input_length, kInputHeadMax) bytes
    uint32_t output_length = 0;
    std::vector<uint8_t> output_head;  // min(output_length, kOutputHeadMax) bytes
};

struct Operation {
    enum Kind : uint8_t {
        kOpen,
        kClose,
        kRequest,
        kFault,
        kTimePasses,
        kClientArrives,
        kAnswers,
        kDeferred,
        kParportChanges,
    } kind = kOpen;
    uint8_t access = 0;       // kOpen: 0 read+write, 1 read, 2 write, 3 none
    uint8_t handle = 0;       // kClose
    Request request;          // kRequest
    uint8_t fault_point = 0;  // kFault
    uint8_t fault_skip = 0;
    uint8_t port = 0;              // kClientArrives
    uint32_t delay_100us = 0;      // kTimePasses, kClientArrives, kDeferred
    uint32_t hold_100us = 0;       // kClientArrives
    std::vector<uint8_t> answers;  // kAnswers
    uint8_t parport_byte = 0;      // kParportChanges
    // kDeferred: the call that runs later (kind kOpen, kClose or kRequest).
    std::vector<Operation> deferred;
};

struct Scenario {
    Setup setup;
    std::vector<Operation> operations;
};

Scenario Decode(const uint8_t* data, size_t size);

// Builds inputs in the same format, for the seed corpus.
class Encoder {
  public:
    Encoder& Machine(uint8_t flags, uint8_t lpt_byte, uint32_t lpt, uint8_t arbitration,
                     const std::vector<uint8_t>& answers);
    Encoder& Open(uint8_t access = 0);
    Encoder& Close(uint8_t handle);
    // A request with a table code (index 0-14), its whole input given, and
    // an output of output_length bytes starting with output_head.
    Encoder& Request(uint8_t handle, uint8_t table_index, const std::vector<uint8_t>& input,
                     uint32_t output_length, const std::vector<uint8_t>& output_head = {});
    Encoder& RawRequest(uint8_t handle, uint32_t code, const std::vector<uint8_t>& input,
                        uint32_t output_length);
    Encoder& Fault(uint8_t point, uint8_t skip = 0);
    Encoder& TimePasses(uint16_t count_100us);
    Encoder& ClientArrives(uint8_t port, uint16_t delay_100us, uint16_t hold_100us);
    Encoder& Answers(const std::vector<uint8_t>& answers);
    // The next Open, Close or Request is deferred by delay_100us.
    Encoder& Deferred(uint16_t delay_100us);
    Encoder& ParportChanges(uint8_t byte);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    void Length(uint32_t length);
    void U16(uint16_t value);
    void U32(uint32_t value);
    std::vector<uint8_t> bytes_;
};

}  // namespace vexlor_fuzz
