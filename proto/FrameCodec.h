// Building and parsing protocol frames (Protocol.h), and bounds-checked
// reading and writing of their payloads. Every parser takes (data, size) and
// never reads beyond it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Protocol.h"

namespace orxproto {

uint16_t Crc16(const uint8_t* data, size_t size, uint16_t crc = 0xFFFF);

struct Frame {
    uint8_t kind = 0;
    uint8_t sequence = 0;
    std::vector<uint8_t> payload;
};

// Appends one whole frame to `out`.
void AppendFrame(std::vector<uint8_t>& out, uint8_t start, uint8_t kind, uint8_t sequence,
                 const uint8_t* payload, size_t size);

enum class ParseStatus { Incomplete, Complete, Bad };
enum class FrameFault { None, BadStart, TooLong, BadCrc };

struct ParseResult {
    ParseStatus status = ParseStatus::Incomplete;
    FrameFault fault = FrameFault::None;
    size_t consumed = 0;  // Complete: the frame's size
};

// Reads the frame at the front of data[0..size). Complete: `frame` holds it.
// Incomplete: more bytes are needed. Bad: the bytes can never become a frame
// that starts with `start` and carries at most maxPayload bytes.
ParseResult ParseFrame(const uint8_t* data, size_t size, uint8_t start, size_t maxPayload,
                       Frame& frame);

// Reads little-endian fields from a payload; any read past the end sets
// failed and yields zeros.
class PayloadReader {
  public:
    PayloadReader(const uint8_t* data, size_t size) : data(data), size(size) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    // The bytes left, and moves to the end.
    const uint8_t* Rest(size_t& count);
    bool Failed() const { return failed; }
    bool AtEnd() const { return offset == size; }

  private:
    bool Take(size_t count);
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
    bool failed = false;
};

class PayloadWriter {
  public:
    void U8(uint8_t value) { bytes.push_back(value); }
    void U16(uint16_t value);
    void U32(uint32_t value);
    void Bytes(const uint8_t* data, size_t size);
    std::vector<uint8_t> bytes;
};

}  // namespace orxproto
