#include "fuzz_input.h"

#include "vexlor_ioctl.h"

namespace vexlor_fuzz {

const uint32_t kTableCodes[15] = {
    IOCTL_LOR_SHIFT_OUT_BLOCK, IOCTL_LOR_READ_WINDOW, IOCTL_LOR_CAPTURE_TRIGGERED,
    IOCTL_LOR_READ_UNTIL_STOP, IOCTL_LOR_SET_LINES,   IOCTL_LOR_NOP,
    IOCTL_LOR_READ_EEPROM,     IOCTL_LOR_WRITE_BYTES, IOCTL_LOR_SHIFT_OUT,
    IOCTL_LOR_SET_EPP_MODE,    IOCTL_LOR_GET_VERSION, IOCTL_LOR_READ_BYTES,
    IOCTL_LOR_PORT_REQUEST,    IOCTL_LOR_PORT_NOP,    IOCTL_LOR_PORT_READ_PAIRS,
};

const uint32_t kSubFunctions[11] = {
    LOR_PORT_READ_UCHAR,           LOR_PORT_READ_USHORT,         LOR_PORT_READ_ULONG,
    LOR_PORT_READ_INDEXED_UCHAR,   LOR_PORT_READ_INDEXED_USHORT, LOR_PORT_WRITE_UCHAR,
    LOR_PORT_WRITE_USHORT,         LOR_PORT_WRITE_ULONG,         LOR_PORT_WRITE_INDEXED_UCHAR,
    LOR_PORT_WRITE_INDEXED_USHORT, LOR_PORT_SET_DIRECTION_MODE,
};

// Around the sizes that the requests check: the shift block limit, the
// planes' distance, the sample buffer, 64 KiB.
const uint32_t kInterestingLengths[24] = {
    0x100,  0x1AA2, 0x1AA3,  0x1AA4,  0x4000,  0x7D00,  0x7FFF,  0x8000,
    0x8001, 0x8002, 0x8005,  0x8006,  0x8007,  0xFCFF,  0xFD00,  0xFD01,
    0xFFFE, 0xFFFF, 0x10000, 0x10001, 0x10005, 0x10006, 0x18000, 0x1FFFF,
};

namespace {

// The request table's function numbers lie in bits 2-13, the type in 16-31.
constexpr uint32_t kFunctionStep = 4;
constexpr uint32_t kTypeMask = 0xFFFF0000u;
constexpr uint32_t kMethodMask = 3u;
constexpr uint32_t kAccessShift = 14;
constexpr uint32_t kAccessMask = 3u << kAccessShift;

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return position_ >= size_; }
    uint8_t U8() { return position_ < size_ ? data_[position_++] : 0; }
    uint16_t U16() {
        const uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& byte : bytes) {
            byte = U8();
        }
        return bytes;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

uint32_t DecodeLength(Reader& reader) {
    const uint8_t b = reader.U8();
    if (b < 0xE0) {
        return b;
    }
    if (b < 0xF8) {
        return kInterestingLengths[b - 0xE0];
    }
    const uint32_t value = reader.U16();
    return b < 0xFC ? value : 0x10000u + value;
}

uint32_t TableCode(Reader& reader) {
    return kTableCodes[reader.U8() % 15];
}

// The code, and the sub-function that goes over the input's first bytes (or 0).
uint32_t DecodeCode(Reader& reader, uint32_t* sub_function) {
    *sub_function = 0;
    const uint8_t selector = reader.U8() & 0x1F;
    if (selector < 15) {
        return kTableCodes[selector];
    }
    switch (selector) {
        case 15: {
            const uint8_t b = reader.U8();
            const uint32_t code = kTableCodes[b % 15];
            return b & 0x80 ? code + kFunctionStep : code - kFunctionStep;
        }
        case 16: {
            const uint32_t code = TableCode(reader);
            return (code & ~kMethodMask) | (reader.U8() & kMethodMask);
        }
        case 17: {
            const uint32_t code = TableCode(reader);
            return (code & ~kAccessMask) | ((reader.U8() & 3u) << kAccessShift);
        }
        case 18: {
            const uint32_t code = TableCode(reader);
            const uint32_t type =
                (code >> 16) == LOR_DEVICE_TYPE ? LOR_ACQUISITION_TYPE : LOR_DEVICE_TYPE;
            return (code & ~kTypeMask) | (type << 16);
        }
        case 19:
            return reader.U32();
        case 31:
            return TableCode(reader);
        default:
            *sub_function = kSubFunctions[selector - 20];
            return IOCTL_LOR_PORT_REQUEST;
    }
}

Request DecodeRequest(Reader& reader) {
    Request request;
    request.handle = reader.U8();
    uint32_t sub_function = 0;
    request.code = DecodeCode(reader, &sub_function);
    request.input_length = DecodeLength(reader);
    request.input_head =
        reader.Bytes(request.input_length < kInputHeadMax ? request.input_length : kInputHeadMax);
    for (size_t i = 0; sub_function != 0 && i < 4 && i < request.input_head.size(); ++i) {
        request.input_head[i] = static_cast<uint8_t>(sub_function >> (8 * i));
    }
    request.output_length = DecodeLength(reader);
    request.output_head = reader.Bytes(
        request.output_length < kOutputHeadMax ? request.output_length : kOutputHeadMax);
    return request;
}

std::vector<uint8_t> DecodeAnswers(Reader& reader) {
    return reader.Bytes(reader.U8());
}

// Open, close or request: the operations an application performs.
Operation DecodeCall(Reader& reader, uint8_t opcode) {
    Operation op;
    if (opcode == 0) {
        op.kind = Operation::kOpen;
        op.access = reader.U8() & 3;
    } else if (opcode == 1) {
        op.kind = Operation::kClose;
        op.handle = reader.U8();
    } else {
        op.kind = Operation::kRequest;
        op.request = DecodeRequest(reader);
    }
    return op;
}

}  // namespace

Scenario Decode(const uint8_t* data, size_t size) {
    Reader reader(data, size);
    Scenario scenario;
    Setup& setup = scenario.setup;

    const uint8_t flags = reader.U8();
    setup.parport_present = flags & 0x01;
    setup.mdls_mapped = flags & 0x02;
    setup.reply_without_routines = flags & 0x04;
    setup.grant_when_cancelled = flags & 0x08;
    setup.translation_fails = flags & 0x10;
    setup.translation_offset = flags & 0x20;
    setup.load_fault = static_cast<LoadFault>(flags >> 6);

    const uint8_t lpt_byte = reader.U8();
    setup.lpt_kind = static_cast<LptKind>(lpt_byte & 7);
    setup.port_count = 1 + ((lpt_byte >> 3) & 3);
    setup.first_base = (lpt_byte >> 5) & 3;
    setup.lpt = reader.U32();

    const uint8_t arbitration = reader.U8();
    setup.allocate = static_cast<AllocateBehaviour>(arbitration & 3);
    setup.free = static_cast<FreeBehaviour>((arbitration >> 2) & 3);
    setup.answers = DecodeAnswers(reader);

    while (!reader.AtEnd() && scenario.operations.size() < kMaxOperations) {
        const uint8_t opcode = reader.U8() & 0x0F;
        Operation op;
        if (opcode <= 9) {
            op = DecodeCall(reader, opcode <= 1 ? opcode : 2);
        } else if (opcode == 10) {
            op.kind = Operation::kFault;
            op.fault_point = static_cast<uint8_t>(reader.U8() % kFaultPointCount);
            op.fault_skip = reader.U8() & 3;
        } else if (opcode == 11) {
            op.kind = Operation::kTimePasses;
            op.delay_100us = reader.U16();
        } else if (opcode == 12) {
            op.kind = Operation::kClientArrives;
            op.port = reader.U8();
            op.delay_100us = reader.U16();
            op.hold_100us = reader.U16();
        } else if (opcode == 13) {
            op.kind = Operation::kAnswers;
            op.answers = DecodeAnswers(reader);
        } else if (opcode == 14) {
            op.kind = Operation::kDeferred;
            op.delay_100us = reader.U16();
            const uint8_t call = reader.U8() & 3;
            op.deferred.push_back(DecodeCall(reader, call <= 1 ? call : 2));
        } else {
            op.kind = Operation::kParportChanges;
            op.parport_byte = reader.U8();
        }
        scenario.operations.push_back(std::move(op));
    }
    return scenario;
}

// ---- Encoder ---------------------------------------------------------------

void Encoder::U16(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void Encoder::U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    U16(static_cast<uint16_t>(value >> 16));
}

void Encoder::Length(uint32_t length) {
    if (length < 0xE0) {
        bytes_.push_back(static_cast<uint8_t>(length));
    } else if (length <= 0xFFFF) {
        bytes_.push_back(0xF8);
        U16(static_cast<uint16_t>(length));
    } else {
        bytes_.push_back(0xFC);
        U16(static_cast<uint16_t>(length - 0x10000));
    }
}

Encoder& Encoder::Machine(uint8_t flags, uint8_t lpt_byte, uint32_t lpt, uint8_t arbitration,
                          const std::vector<uint8_t>& answers) {
    bytes_.push_back(flags);
    bytes_.push_back(lpt_byte);
    U32(lpt);
    bytes_.push_back(arbitration);
    bytes_.push_back(static_cast<uint8_t>(answers.size()));
    bytes_.insert(bytes_.end(), answers.begin(), answers.end());
    return *this;
}

Encoder& Encoder::Open(uint8_t access) {
    bytes_.push_back(0);
    bytes_.push_back(access);
    return *this;
}

Encoder& Encoder::Close(uint8_t handle) {
    bytes_.push_back(1);
    bytes_.push_back(handle);
    return *this;
}

Encoder& Encoder::Request(uint8_t handle, uint8_t table_index, const std::vector<uint8_t>& input,
                          uint32_t output_length, const std::vector<uint8_t>& output_head) {
    bytes_.push_back(2);
    bytes_.push_back(handle);
    bytes_.push_back(table_index);
    Length(static_cast<uint32_t>(input.size()));
    for (size_t i = 0; i < input.size() && i < kInputHeadMax; ++i) {
        bytes_.push_back(input[i]);
    }
    Length(output_length);
    for (size_t i = 0; i < output_length && i < kOutputHeadMax; ++i) {
        bytes_.push_back(i < output_head.size() ? output_head[i]
                                                : FillByte(static_cast<uint32_t>(i)));
    }
    return *this;
}

Encoder& Encoder::RawRequest(uint8_t handle, uint32_t code, const std::vector<uint8_t>& input,
                             uint32_t output_length) {
    bytes_.push_back(2);
    bytes_.push_back(handle);
    bytes_.push_back(19);
    U32(code);
    Length(static_cast<uint32_t>(input.size()));
    for (size_t i = 0; i < input.size() && i < kInputHeadMax; ++i) {
        bytes_.push_back(input[i]);
    }
    Length(output_length);
    for (size_t i = 0; i < output_length && i < kOutputHeadMax; ++i) {
        bytes_.push_back(FillByte(static_cast<uint32_t>(i)));
    }
    return *this;
}

Encoder& Encoder::Fault(uint8_t point, uint8_t skip) {
    bytes_.push_back(10);
    bytes_.push_back(point);
    bytes_.push_back(skip);
    return *this;
}

Encoder& Encoder::TimePasses(uint16_t count_100us) {
    bytes_.push_back(11);
    U16(count_100us);
    return *this;
}

Encoder& Encoder::ClientArrives(uint8_t port, uint16_t delay_100us, uint16_t hold_100us) {
    bytes_.push_back(12);
    bytes_.push_back(port);
    U16(delay_100us);
    U16(hold_100us);
    return *this;
}

Encoder& Encoder::Answers(const std::vector<uint8_t>& answers) {
    bytes_.push_back(13);
    bytes_.push_back(static_cast<uint8_t>(answers.size()));
    bytes_.insert(bytes_.end(), answers.begin(), answers.end());
    return *this;
}

// Open, Close and Request write opcodes 0, 1 and 2, which are also the
// call selectors of a deferred call.
Encoder& Encoder::Deferred(uint16_t delay_100us) {
    bytes_.push_back(14);
    U16(delay_100us);
    return *this;
}

Encoder& Encoder::ParportChanges(uint8_t byte) {
    bytes_.push_back(15);
    bytes_.push_back(byte);
    return *this;
}

}  // namespace vexlor_fuzz
