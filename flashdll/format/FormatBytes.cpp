#include "FormatBytes.h"

#include <algorithm>
#include <cctype>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace shx {

uint16_t ReadLe16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadLe32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void WriteLe16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

void WriteLe32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t ByteSum(const uint8_t* bytes, size_t count) {
    uint64_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Sums of absolute differences against zero add 16 bytes at a time; four
    // independent running sums keep the adds from waiting on one another.
    const __m128i zero = _mm_setzero_si128();
    __m128i lanes[4] = {zero, zero, zero, zero};
    auto block = [&](size_t at) {
        return _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at)), zero);
    };
    for (; i + 64 <= count; i += 64) {
        lanes[0] = _mm_add_epi64(lanes[0], block(i));
        lanes[1] = _mm_add_epi64(lanes[1], block(i + 16));
        lanes[2] = _mm_add_epi64(lanes[2], block(i + 32));
        lanes[3] = _mm_add_epi64(lanes[3], block(i + 48));
    }
    for (; i + 16 <= count; i += 16) {
        lanes[0] = _mm_add_epi64(lanes[0], block(i));
    }
    __m128i all =
        _mm_add_epi64(_mm_add_epi64(lanes[0], lanes[1]), _mm_add_epi64(lanes[2], lanes[3]));
    uint64_t parts[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(parts), all);
    sum = parts[0] + parts[1];
#endif
    for (; i < count; ++i) {
        sum += bytes[i];
    }
    return sum;
}

uint32_t ParseHexField(std::string_view line, size_t offset, size_t width) {
    width = std::min<size_t>(width, 15);
    char field[16] = {};
    for (size_t i = 0; i < width && offset + i < line.size(); ++i) {
        char c = line[offset + i];
        if (c == '\0') {
            break;
        }
        field[i] = c;
    }
    size_t pos = 0;
    while (field[pos] != '\0' && std::isspace(static_cast<unsigned char>(field[pos]))) {
        ++pos;
    }
    if (!std::isxdigit(static_cast<unsigned char>(field[pos]))) {
        return static_cast<uint32_t>(width);
    }
    uint64_t value = 0;
    for (; std::isxdigit(static_cast<unsigned char>(field[pos])); ++pos) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(field[pos])));
        value = (value << 4) | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return static_cast<uint32_t>(value);
}

}  // namespace shx
