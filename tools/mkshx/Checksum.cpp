#include "Checksum.h"

#include <algorithm>
#include <string_view>

namespace mkshx {

namespace {

constexpr size_t kTailBytes = 64;

uint64_t WideSum(const uint8_t* data, size_t size) {
    uint64_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += data[i];
    }
    return sum;
}

// Reads up to four hex digits as the module's field parser does: stops at
// the first non-hex character; no digit at all gives the width, 4.
uint16_t ParseHex4(std::string_view text) {
    unsigned value = 0;
    size_t digits = 0;
    for (; digits < 4 && digits < text.size(); ++digits) {
        char c = text[digits];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else {
            break;
        }
        value = value * 16 + d;
    }
    return digits == 0 ? 4 : static_cast<uint16_t>(value);
}

}  // namespace

uint16_t Sum16(const uint8_t* data, size_t size) {
    return static_cast<uint16_t>(WideSum(data, size));
}

TrailerChecksum ReadTrailerChecksum(const uint8_t* file, size_t size) {
    TrailerChecksum result;
    size_t tailStart = size > kTailBytes ? size - kTailBytes : 0;
    const uint8_t* tail = file + tailStart;
    size_t tailSize = size - tailStart;
    tailSize = static_cast<size_t>(std::find(tail, tail + tailSize, 0) - tail);
    std::string_view text(reinterpret_cast<const char*>(tail), tailSize);

    size_t s7 = text.find("S7");
    if (s7 == std::string_view::npos) {
        return result;
    }
    size_t marker = text.find("4353", s7);
    if (marker == std::string_view::npos) {
        return result;
    }
    result.found = true;
    result.s7Offset = tailStart + s7;
    result.stored = ParseHex4(text.substr(marker + 4));
    uint64_t excluded = WideSum(tail + s7, tailSize - s7);
    result.computed = static_cast<uint16_t>(WideSum(file, size) - excluded);
    return result;
}

}  // namespace mkshx
