// Decoding S-record lines: a pair table, SIMD for long runs of hex digits and
// a whole-S3 fast path, each giving the same result as the field rule.
#include "SRecordDecode.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cstring>
#include <vector>

#include "FormatBytes.h"

namespace {

// Value of each character as a hex digit, or -1.
struct HexTable {
    int8_t value[256];
    constexpr HexTable() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                       : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                       : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                              : static_cast<int8_t>(-1);
        }
    }
};
constexpr HexTable kHex;

// The byte two hex digits stand for, by the two characters as one 16-bit
// index (first character in the low byte), or -1: one load per data byte.
const int16_t* PairTable() {
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> pairs(65536, -1);
        for (int first = 0; first < 256; ++first) {
            for (int second = 0; second < 256; ++second) {
                int high = kHex.value[first];
                int low = kHex.value[second];
                if (high >= 0 && low >= 0) {
                    pairs[static_cast<size_t>(first | (second << 8))] =
                        static_cast<int16_t>((high << 4) | low);
                }
            }
        }
        return pairs;
    }();
    return table.data();
}

#if defined(__x86_64__)
// Thirty-two digits, sixteen bytes, at a time on processors that have AVX2;
// returns how many bytes it decoded, a multiple of sixteen.
__attribute__((target("avx2"))) size_t DecodeHexPairsWide(const unsigned char* digits, size_t count,
                                                          uint8_t* out) {
    size_t done = 0;
    for (; done + 16 <= count; done += 16) {
        __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits + 2 * done));
        __m256i number = _mm256_sub_epi8(chars, _mm256_set1_epi8('0'));
        __m256i isNumber = _mm256_cmpeq_epi8(_mm256_min_epu8(number, _mm256_set1_epi8(9)), number);
        __m256i letter =
            _mm256_sub_epi8(_mm256_or_si256(chars, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
        __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
        if (static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(isNumber, isLetter))) !=
            0xFFFFFFFFu) {
            break;
        }
        __m256i nibbles = _mm256_or_si256(
            _mm256_and_si256(number, isNumber),
            _mm256_and_si256(_mm256_add_epi8(letter, _mm256_set1_epi8(10)), isLetter));
        __m256i high = _mm256_slli_epi16(_mm256_and_si256(nibbles, _mm256_set1_epi16(0x00FF)), 4);
        __m256i low = _mm256_srli_epi16(nibbles, 8);
        // Packing works per 128-bit lane: the two lanes' eight bytes are
        // brought together before the store.
        __m256i bytes = _mm256_packus_epi16(_mm256_or_si256(high, low), _mm256_setzero_si256());
        bytes = _mm256_permute4x64_epi64(bytes, 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), _mm256_castsi256_si128(bytes));
    }
    return done;
}

const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
#endif

// Decodes up to count bytes from pairs of hex digits; returns how many were
// decoded before the first character that is not a hex digit.
size_t DecodeHexPairs(const unsigned char* digits, size_t count, uint8_t* out) {
    size_t done = 0;
#if defined(__x86_64__)
    if (kHaveAvx2) {
        done = DecodeHexPairsWide(digits, count, out);
    }
#endif
#if defined(__SSE2__)
    // Sixteen digits, eight bytes, at a time.
    const __m128i zero = _mm_setzero_si128();
    for (; done + 8 <= count; done += 8) {
        __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 2 * done));
        __m128i number = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
        __m128i isNumber = _mm_cmpeq_epi8(_mm_min_epu8(number, _mm_set1_epi8(9)), number);
        __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
        __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
        if (_mm_movemask_epi8(_mm_or_si128(isNumber, isLetter)) != 0xFFFF) {
            break;
        }
        __m128i nibbles =
            _mm_or_si128(_mm_and_si128(number, isNumber),
                         _mm_and_si128(_mm_add_epi8(letter, _mm_set1_epi8(10)), isLetter));
        __m128i high = _mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4);
        __m128i low = _mm_srli_epi16(nibbles, 8);
        __m128i bytes = _mm_packus_epi16(_mm_or_si128(high, low), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + done), bytes);
    }
#endif
    static const int16_t* const pairs = PairTable();
    for (; done < count; ++done) {
        int16_t value = pairs[digits[2 * done] | (digits[2 * done + 1] << 8)];
        if (value < 0) {
            break;
        }
        out[done] = static_cast<uint8_t>(value);
    }
    return done;
}

// The field rule, quick for the common case of width hex digits in a row
// (pairs through the pair table, an odd width's first digit alone).
uint32_t HexField(std::string_view line, size_t offset, size_t width) {
    if (offset + width <= line.size() && width <= 8) {
        static const int16_t* const pairs = PairTable();
        const auto* digits = reinterpret_cast<const unsigned char*>(line.data()) + offset;
        uint32_t value = 0;
        bool whole = true;
        size_t i = 0;
        if (width % 2 == 1) {
            int digit = kHex.value[digits[0]];
            whole = digit >= 0;
            value = static_cast<uint32_t>(digit);
            i = 1;
        }
        for (; whole && i < width; i += 2) {
            int16_t pair = pairs[digits[i] | (digits[i + 1] << 8)];
            whole = pair >= 0;
            value = (value << 8) | static_cast<uint32_t>(pair & 0xFF);
        }
        if (whole) {
            return value;
        }
    }
    return shx::ParseHexField(line, offset, width);
}

struct Layout {
    size_t addressWidth;  // hex digits; 0 for types without an address layout
    size_t dataColumn;
    int overhead;  // byte-count bytes that are not data
};

Layout LayoutOf(int type) {
    switch (type) {
        case 0:
        case 1:
        case 5:
        case 9:
            return {4, 8, 3};
        case 2:
        case 8:
            return {6, 10, 4};
        case 3:
        case 7:
            return {8, 12, 5};
        default:
            return {0, 0, 0};
    }
}

// The common line, an S3 record whose count and address are all hex digits,
// decoded straight through the pair table; the same result as the field rules.
bool DecodeWholeS3(std::string_view line, shx::SRecordFields& fields) {
    static const int16_t* const pairs = PairTable();
    if (line.size() < 12 || line[1] != '3') {
        return false;
    }
    const auto* d = reinterpret_cast<const unsigned char*>(line.data());
    int16_t count = pairs[d[2] | (d[3] << 8)];
    int16_t a0 = pairs[d[4] | (d[5] << 8)];
    int16_t a1 = pairs[d[6] | (d[7] << 8)];
    int16_t a2 = pairs[d[8] | (d[9] << 8)];
    int16_t a3 = pairs[d[10] | (d[11] << 8)];
    if ((count | a0 | a1 | a2 | a3) < 0) {
        return false;
    }
    fields.type = 3;
    fields.byteCount = count;
    fields.address = (static_cast<uint32_t>(a0) << 24) | (static_cast<uint32_t>(a1) << 16) |
                     (static_cast<uint32_t>(a2) << 8) | static_cast<uint32_t>(a3);
    const size_t length = count > 5 ? static_cast<size_t>(count - 5) : 0;
    fields.dataLength = static_cast<int>(length);
    const size_t whole = (line.size() - 12) / 2;
    size_t i = DecodeHexPairs(d + 12, length < whole ? length : whole, fields.data.data());
    for (; i < length; ++i) {
        fields.data[i] = static_cast<uint8_t>(HexField(line, 12 + 2 * i, 2));
    }
    return true;
}

}  // namespace

namespace shx {

bool DecodeSRecordLine(std::string_view line, SRecordFields& fields) {
    if (DecodeWholeS3(line, fields)) {
        return true;
    }
    fields.type = static_cast<int>(HexField(line, 1, 1));
    fields.byteCount = static_cast<int>(HexField(line, 2, 2));
    Layout layout = LayoutOf(fields.type);
    if (layout.addressWidth == 0) {
        fields.address = 0;
        fields.dataLength = 0;
        return false;
    }
    fields.address = HexField(line, 4, layout.addressWidth);
    int count = fields.byteCount - layout.overhead;
    fields.dataLength = count > 0 ? count : 0;
    // Pairs of hex digits decode in a tight loop; anything else (a short line,
    // a stray character) takes the field rule from there on.
    const size_t length = static_cast<size_t>(fields.dataLength);
    const auto* digits = reinterpret_cast<const unsigned char*>(line.data());
    size_t whole = line.size() > layout.dataColumn ? (line.size() - layout.dataColumn) / 2 : 0;
    size_t i = DecodeHexPairs(digits + layout.dataColumn, length < whole ? length : whole,
                              fields.data.data());
    for (; i < length; ++i) {
        fields.data[i] = static_cast<uint8_t>(HexField(line, layout.dataColumn + 2 * i, 2));
    }
    return true;
}

bool DecodeSRecordLineByFields(std::string_view line, SRecordFields& fields) {
    fields.type = static_cast<int>(ParseHexField(line, 1, 1));
    fields.byteCount = static_cast<int>(ParseHexField(line, 2, 2));
    Layout layout = LayoutOf(fields.type);
    fields.address = layout.addressWidth == 0 ? 0 : ParseHexField(line, 4, layout.addressWidth);
    int count = fields.byteCount - layout.overhead;
    fields.dataLength = layout.addressWidth != 0 && count > 0 ? count : 0;
    for (int i = 0; i < fields.dataLength; ++i) {
        fields.data[static_cast<size_t>(i)] = static_cast<uint8_t>(
            ParseHexField(line, layout.dataColumn + 2 * static_cast<size_t>(i), 2));
    }
    return layout.addressWidth != 0;
}

size_t LineLength(const char* start, size_t available, bool atEnd) {
    if (available == 0) {
        return 0;
    }
    size_t window = available < kMaxLine ? available : kMaxLine;
    const void* newline = std::memchr(start, '\n', window);
    if (newline != nullptr) {
        return static_cast<size_t>(static_cast<const char*>(newline) - start) + 1;
    }
    if (available >= kMaxLine || atEnd) {
        return window;  // an overlong line, or the last line without a line end
    }
    return 0;
}

bool NextLine(std::string_view& rest, std::string_view& line) {
    size_t length = LineLength(rest.data(), rest.size(), true);
    if (length == 0) {
        return false;
    }
    line = rest.substr(0, length);
    rest.remove_prefix(length);
    return true;
}

}  // namespace shx
