// The 8172-byte binary header: kind, date, barker table, file count and the
// 258 sub-file descriptors. Unlisted slots stay all zero (empty).
#include <cstring>

#include "Checksum.h"
#include "SuperfileParts.h"

namespace mkshx {

namespace {

constexpr size_t kDateOffset = 320;
constexpr size_t kBarkerTableOffset = 816;
constexpr size_t kFileCountOffset = 944;
constexpr size_t kDescriptorOffset = 948;
constexpr size_t kDescriptorSize = 28;
constexpr int kBarkerTableSlots = 16;
constexpr uint16_t kBarkerType = 2;

void PutLE16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLE32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

const std::vector<uint8_t>* ImageOf(const std::map<int, std::vector<uint8_t>>& images, int slot) {
    auto it = images.find(slot);
    return it == images.end() ? nullptr : &it->second;
}

// What the converter will read as the barker code of a type-2 sub-file: the
// first eight bytes of its image.
Bytes8 BarkerOf(const SubfileSpec& sub, const std::vector<uint8_t>* image) {
    Bytes8 code{};
    if (image != nullptr && image->size() >= 8) {
        std::memcpy(code.data(), image->data(), 8);
    } else if (sub.barker) {
        code = *sub.barker;
    }
    return code;
}

// Type 2 counts its barker bytes as 0xFF: the barker is programmed last,
// apart from the rest of the image.
uint16_t DeclaredChecksum(const SubfileSpec& sub, const std::vector<uint8_t>* image) {
    if (sub.declaredChecksum) {
        return *sub.declaredChecksum;
    }
    if (image == nullptr) {
        return 0;
    }
    if (sub.type != kBarkerType) {
        return Sum16(image->data(), image->size());
    }
    size_t barker = std::min<size_t>(8, image->size());
    return static_cast<uint16_t>(Sum16(image->data() + barker, image->size() - barker) +
                                 0xFF * barker);
}

uint16_t FileCount(const Manifest& manifest) {
    if (manifest.fileCount) {
        return *manifest.fileCount;
    }
    uint16_t count = 0;
    for (const SubfileSpec& sub : manifest.subfiles) {
        if (sub.slot != kBootSlot && sub.hasRange) {
            ++count;
        }
    }
    return count;
}

void WriteDescriptor(const SubfileSpec& sub, const std::vector<uint8_t>* image, uint8_t* d) {
    if (sub.hasRange) {
        PutLE32(d, sub.start);
        PutLE32(d + 4, sub.end);
    }
    Bytes8 extra{};
    if (sub.extra) {
        extra = *sub.extra;
    } else if (sub.type == kBarkerType) {
        extra = BarkerOf(sub, image);
    }
    std::memcpy(d + 8, extra.data(), 8);
    d[16] = sub.flag;
    d[17] = sub.variant;
    d[18] = sub.family;
    std::memcpy(d + 19, sub.carried.data(), 3);
    d[22] = static_cast<uint8_t>(sub.version >> 8);  // version is big-endian
    d[23] = static_cast<uint8_t>(sub.version);
    PutLE16(d + 24, DeclaredChecksum(sub, image));
    PutLE16(d + 26, sub.type);
}

void WriteBarkerEntry(const SubfileSpec& sub, const std::vector<uint8_t>* image, uint8_t* header) {
    if (sub.slot >= kBarkerTableSlots) {
        return;
    }
    Bytes8 entry{};
    if (sub.tableEntry) {
        entry = *sub.tableEntry;
    } else if (sub.type == kBarkerType) {
        entry = BarkerOf(sub, image);
    } else if (sub.barker) {
        entry = *sub.barker;
    }
    std::memcpy(header + kBarkerTableOffset + 8 * sub.slot, entry.data(), 8);
}

}  // namespace

void WriteHeader(const Manifest& manifest, const std::map<int, std::vector<uint8_t>>& images,
                 uint8_t* header) {
    std::memcpy(header, manifest.kind.data(), manifest.kind.size());
    std::memcpy(header + kDateOffset, manifest.date.data(), manifest.date.size());
    PutLE16(header + kFileCountOffset, FileCount(manifest));
    for (const SubfileSpec& sub : manifest.subfiles) {
        const std::vector<uint8_t>* image = ImageOf(images, sub.slot);
        WriteDescriptor(sub, image, header + kDescriptorOffset + kDescriptorSize * sub.slot);
        WriteBarkerEntry(sub, image, header);
    }
}

}  // namespace mkshx
