// The byte rules the superfile, S-record and image index layouts share:
// little-endian fields, byte sums and the fixed-width hex field of the
// S-record text. Pure: bytes and sizes in, values out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace shx {

uint16_t ReadLe16(const uint8_t* bytes);
uint32_t ReadLe32(const uint8_t* bytes);
void WriteLe16(uint8_t* bytes, uint16_t value);
void WriteLe32(uint8_t* bytes, uint32_t value);

// Sum of unsigned bytes, in full width; callers keep the bits they need.
uint64_t ByteSum(const uint8_t* bytes, size_t count);
inline uint16_t Sum16(const uint8_t* bytes, size_t count) {
    return static_cast<uint16_t>(ByteSum(bytes, count));
}
inline uint8_t Sum8(const uint8_t* bytes, size_t count) {
    return static_cast<uint8_t>(ByteSum(bytes, count));
}

// The value of `width` characters (at most 15) at `offset` of a line, read as
// hex after leading blanks up to the first non-hex character. A field with no
// hex digit, also one past the end of the line, reads as `width`.
uint32_t ParseHexField(std::string_view line, size_t offset, size_t width);

}  // namespace shx
