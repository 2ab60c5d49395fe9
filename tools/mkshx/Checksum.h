// Byte sums and the whole-file checksum rule of the superfile trailer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mkshx {

// Sum of the unsigned bytes, kept to 16 bits.
uint16_t Sum16(const uint8_t* data, size_t size);

// What a reader finds at the end of a superfile. The tail T is the last 64
// bytes (cut at the first NUL); s7 is the first "S7" in T; the stored value
// is the four-character hex field after the first "4353" at or after s7; the
// computed value sums the whole file except T from s7 on.
struct TrailerChecksum {
    bool found = false;  // false: no "S7", or no "4353" after it
    uint16_t stored = 0;
    uint16_t computed = 0;
    size_t s7Offset = 0;  // file offset of the "S7" the rule picked
};

TrailerChecksum ReadTrailerChecksum(const uint8_t* file, size_t size);

}  // namespace mkshx
