// The superfile body as text: splitting it into lines and decoding one
// S-record line into its fields. Pure: bytes in, fields out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace shx {

// The fields of one S-record line.
struct SRecordFields {
    int type = 0;
    int byteCount = 0;
    uint32_t address = 0;
    std::array<uint8_t, 512> data{};
    int dataLength = 0;
};

// Decodes one line of the superfile body (its line end may stay on). Lenient
// on purpose: neither the leading S nor the record checksum is checked, and a
// field that is not hex reads by the hex-field rule (FormatBytes.h). False for
// a type without an address layout (not 0, 1, 2, 3, 5, 7, 8 or 9): address
// and data are then empty. Which types are acceptable is the converter's call.
bool DecodeSRecordLine(std::string_view line, SRecordFields& fields);
// The same decoding by the field rule alone, without the fast paths; the
// fuzz target holds the two against each other.
bool DecodeSRecordLineByFields(std::string_view line, SRecordFields& fields);

// Longest line returned at once: the longest valid S-record (byte count
// 0xFF, 514 characters) with its line end fits with room to spare.
inline constexpr size_t kMaxLine = 1024;

// The length of the line at the front of `available` bytes, its line end
// included: up to the first '\n', or kMaxLine bytes of an overlong line, or
// (atEnd) whatever is left. 0 when more bytes are needed, or none are left.
size_t LineLength(const char* start, size_t available, bool atEnd);
// The next line of text held in memory, split as LineLength splits it;
// `rest` moves past it. False when nothing is left.
bool NextLine(std::string_view& rest, std::string_view& line);

}  // namespace shx
