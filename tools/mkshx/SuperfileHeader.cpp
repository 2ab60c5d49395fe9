// The 8172-byte binary header: kind, date, barker table, file count and the
// 258 sub-file descriptors, laid out by the module's format layer. Unlisted
// slots stay all zero (empty).
#include <cstring>

#include "Checksum.h"
#include "SuperfileFormat.h"
#include "SuperfileParts.h"

namespace mkshx {

namespace {

constexpr uint16_t kBarkerType = shx::kSubfileTypeBarker;

const std::vector<uint8_t>* ImageOf(const std::map<int, std::vector<uint8_t>>& images, int slot) {
    auto it = images.find(slot);
    return it == images.end() ? nullptr : &it->second;
}

// What the converter will read as the barker code of a type-2 sub-file: the
// first eight bytes of its image.
Bytes8 BarkerOf(const ManifestSubfile& sub, const std::vector<uint8_t>* image) {
    Bytes8 code{};
    if (image != nullptr && image->size() >= shx::kBarkerSize) {
        std::memcpy(code.data(), image->data(), shx::kBarkerSize);
    } else if (sub.barker) {
        code = *sub.barker;
    }
    return code;
}

// Type 2 counts its barker bytes as 0xFF: the barker is programmed last,
// apart from the rest of the image.
uint16_t DeclaredChecksum(const ManifestSubfile& sub, const std::vector<uint8_t>* image) {
    if (sub.declaredChecksum) {
        return *sub.declaredChecksum;
    }
    if (image == nullptr) {
        return 0;
    }
    if (sub.type != kBarkerType) {
        return Sum16(image->data(), image->size());
    }
    size_t barker = std::min(shx::kBarkerSize, image->size());
    return static_cast<uint16_t>(Sum16(image->data() + barker, image->size() - barker) +
                                 0xFF * barker);
}

uint16_t FileCount(const Manifest& manifest) {
    if (manifest.fileCount) {
        return *manifest.fileCount;
    }
    uint16_t count = 0;
    for (const ManifestSubfile& sub : manifest.subfiles) {
        if (sub.slot != kBootSlot && sub.hasRange) {
            ++count;
        }
    }
    return count;
}

shx::SubfileDescriptor DescriptorOf(const ManifestSubfile& sub, const std::vector<uint8_t>* image) {
    shx::SubfileDescriptor descriptor;
    if (sub.hasRange) {
        descriptor.start = sub.start;
        descriptor.end = sub.end;
    }
    if (sub.extra) {
        descriptor.extra = *sub.extra;
    } else if (sub.type == kBarkerType) {
        descriptor.extra = BarkerOf(sub, image);
    }
    descriptor.descriptorBytes = {sub.flag,       sub.variant,    sub.family,
                                  sub.carried[0], sub.carried[1], sub.carried[2]};
    descriptor.version = sub.version;
    descriptor.declaredChecksum = DeclaredChecksum(sub, image);
    descriptor.type = sub.type;
    return descriptor;
}

void WriteBarkerEntry(const ManifestSubfile& sub, const std::vector<uint8_t>* image, uint8_t* header) {
    if (sub.slot >= shx::kBarkerEntries) {
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
    std::memcpy(header + shx::BarkerEntryOffset(sub.slot), entry.data(), entry.size());
}

}  // namespace

void WriteHeader(const Manifest& manifest, const std::map<int, std::vector<uint8_t>>& images,
                 uint8_t* header) {
    std::memcpy(header, manifest.kind.data(), manifest.kind.size());
    std::memcpy(header + shx::kDateOffset, manifest.date.data(), manifest.date.size());
    shx::WriteLe16(header + shx::kFileCountOffset, FileCount(manifest));
    for (const ManifestSubfile& sub : manifest.subfiles) {
        const std::vector<uint8_t>* image = ImageOf(images, sub.slot);
        shx::EncodeDescriptor(DescriptorOf(sub, image), header + shx::DescriptorOffset(sub.slot));
        WriteBarkerEntry(sub, image, header);
    }
}

}  // namespace mkshx
