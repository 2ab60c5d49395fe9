#include "ORX_FP_FlashFileIO_Formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>

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

SubfileDescriptor DescriptorAt(const SuperfileHeader& header, int slot) {
    const uint8_t* d = header.data() + kDescriptorTableOffset + kDescriptorSize * slot;
    SubfileDescriptor descriptor;
    descriptor.start = ReadLe32(d);
    descriptor.end = ReadLe32(d + 4);
    std::memcpy(descriptor.extra.data(), d + 8, 8);
    std::memcpy(descriptor.descriptorBytes.data(), d + 16, 6);
    descriptor.version = static_cast<uint16_t>((d[22] << 8) | d[23]);
    descriptor.declaredChecksum = ReadLe16(d + 24);
    descriptor.type = ReadLe16(d + 26);
    return descriptor;
}

uint16_t FileCount(const SuperfileHeader& header) {
    return ReadLe16(header.data() + kFileCountOffset);
}

std::string HeaderText(const SuperfileHeader& header, size_t offset, size_t room) {
    const char* start = reinterpret_cast<const char*>(header.data() + offset);
    return std::string(start, strnlen(start, room));
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

const char* PlatformText(uint8_t family, uint8_t variant, bool& known) {
    known = family >= 1 && family <= 5;
    if (!known) {
        return "Unknown Platform";
    }
    switch (family) {
        case 1:
            return "CDMA Dorsk";
        case 2:
            return variant == 1 ? "GSM Brinmar" : variant == 2 ? "GSM k.380" : nullptr;
        case 3:
            return variant == 1 ? "TDMA Brinmar" : nullptr;
        case 4:
            return variant == 3 ? "UMTS Quellin" : variant == 6 ? "UMTS Tavenor" : nullptr;
        case 5:
            return variant == 4 ? "CDMA HBX4205" : variant == 5 ? "CDMA HBX4200" : nullptr;
    }
    return nullptr;
}

StoredChecksum FindStoredChecksum(const uint8_t* tail, size_t length) {
    StoredChecksum stored;
    if (tail == nullptr || length == 0) {
        return stored;
    }
    const char* chars = reinterpret_cast<const char*>(tail);
    std::string_view text(chars, strnlen(chars, length));
    size_t s7 = text.find("S7");
    if (s7 == std::string_view::npos) {
        return stored;
    }
    size_t marker = text.find("4353", s7);
    if (marker == std::string_view::npos) {
        return stored;
    }
    stored.found = true;
    stored.value = static_cast<uint16_t>(ParseHexField(text, marker + 4, 4));
    stored.excludedFrom = s7;
    stored.excludedTo = text.size();
    return stored;
}

std::string ImageBase(const std::string& superfilePath) {
    std::string base;
    base.reserve(superfilePath.size());
    for (size_t i = 0; i < superfilePath.size();) {
        if (superfilePath.compare(i, 4, ".shx") == 0) {
            i += 4;
        } else {
            base += superfilePath[i++];
        }
    }
    return base;
}

std::string ImageFileName(const std::string& superfilePath, int slot) {
    if (slot == kRamDownloaderSlot) {
        return ImageBase(superfilePath) + "RAMDLD.smg";
    }
    if (slot < kFirstCodeGroupSlot || slot >= kSlots) {
        return {};
    }
    return ImageBase(superfilePath) + "CG" + std::to_string(slot - kFirstCodeGroupSlot) + ".smg";
}

std::string IndexFileName(const std::string& superfilePath) {
    return ImageBase(superfilePath) + ".hmg";
}

}  // namespace shx
