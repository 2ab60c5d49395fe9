#include "FrameCodec.h"

#include <array>
#include <cstring>

namespace orxproto {

namespace {

// CRC-16/CCITT-FALSE (polynomial 0x1021), eight bytes a step: table k gives
// the remainder of a byte followed by k zero bytes, so the eight lookups of a
// step are independent and the data moves through at several bytes a cycle.
using CrcTables = std::array<std::array<uint16_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        tables[0][i] = crc;
    }
    for (size_t k = 1; k < tables.size(); ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    }
    return tables;
}
constexpr CrcTables kCrcTables = MakeCrcTables();

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size, uint16_t crc) {
    const auto& t = kCrcTables;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const uint8_t* d = data + i;
        crc =
            static_cast<uint16_t>(t[7][d[0] ^ (crc >> 8)] ^ t[6][d[1] ^ (crc & 0xFF)] ^ t[5][d[2]] ^
                                  t[4][d[3]] ^ t[3][d[4]] ^ t[2][d[5]] ^ t[1][d[6]] ^ t[0][d[7]]);
    }
    for (; i < size; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ t[0][((crc >> 8) ^ data[i]) & 0xFF]);
    }
    return crc;
}

void AppendFrame(std::vector<uint8_t>& out, uint8_t start, uint8_t kind, uint8_t sequence,
                 const uint8_t* payload, size_t size) {
    size_t at = out.size();
    out.resize(at + kHeaderSize + size + kCrcSize);
    uint8_t* p = out.data() + at;
    p[0] = start;
    p[1] = kind;
    p[2] = sequence;
    for (int i = 0; i < 4; ++i) {
        p[3 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    if (size > 0) {
        std::memcpy(p + kHeaderSize, payload, size);
    }
    uint16_t crc = Crc16(p, kHeaderSize + size);
    p[kHeaderSize + size] = static_cast<uint8_t>(crc);
    p[kHeaderSize + size + 1] = static_cast<uint8_t>(crc >> 8);
}

ParseResult ParseFrame(const uint8_t* data, size_t size, uint8_t start, size_t maxPayload,
                       Frame& frame) {
    ParseResult result;
    if (size == 0) {
        return result;
    }
    if (data[0] != start) {
        result.status = ParseStatus::Bad;
        result.fault = FrameFault::BadStart;
        return result;
    }
    if (size < kHeaderSize) {
        return result;
    }
    uint32_t length = Le32(data + 3);
    if (length > maxPayload) {
        result.status = ParseStatus::Bad;
        result.fault = FrameFault::TooLong;
        return result;
    }
    size_t total = kHeaderSize + size_t{length} + kCrcSize;
    if (size < total) {
        return result;
    }
    uint16_t stored = static_cast<uint16_t>(data[total - 2] | data[total - 1] << 8);
    if (Crc16(data, total - kCrcSize) != stored) {
        result.status = ParseStatus::Bad;
        result.fault = FrameFault::BadCrc;
        return result;
    }
    frame.kind = data[1];
    frame.sequence = data[2];
    frame.payload.assign(data + kHeaderSize, data + kHeaderSize + length);
    result.status = ParseStatus::Complete;
    result.consumed = total;
    return result;
}

bool PayloadReader::Take(size_t count) {
    if (failed || size - offset < count) {
        failed = true;
        return false;
    }
    return true;
}

uint8_t PayloadReader::U8() {
    if (!Take(1)) {
        return 0;
    }
    return data[offset++];
}

uint16_t PayloadReader::U16() {
    if (!Take(2)) {
        return 0;
    }
    uint16_t value = static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
    offset += 2;
    return value;
}

uint32_t PayloadReader::U32() {
    if (!Take(4)) {
        return 0;
    }
    uint32_t value = Le32(data + offset);
    offset += 4;
    return value;
}

const uint8_t* PayloadReader::Rest(size_t& count) {
    count = failed ? 0 : size - offset;
    const uint8_t* rest = failed ? nullptr : data + offset;
    offset = size;
    return rest;
}

void PayloadWriter::U16(uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void PayloadWriter::U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PayloadWriter::Bytes(const uint8_t* data, size_t size) {
    if (size > 0) {
        bytes.insert(bytes.end(), data, data + size);
    }
}

}  // namespace orxproto
