// Little-endian fields and a 16-bit byte sum, written here apart from the
// module's own so that tests check its files against an independent reading.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testsupport {

inline uint16_t Sum16(const uint8_t* bytes, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += bytes[i];
    }
    return static_cast<uint16_t>(sum);
}
inline uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace testsupport
