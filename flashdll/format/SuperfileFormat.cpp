#include "SuperfileFormat.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace shx {

namespace {
// Offsets within a descriptor.
constexpr size_t kStartAt = 0;
constexpr size_t kEndAt = 4;
constexpr size_t kExtraAt = 8;
constexpr size_t kBytesAt = 16;
constexpr size_t kVersionAt = 22;
constexpr size_t kChecksumAt = 24;
constexpr size_t kTypeAt = 26;
}  // namespace

SubfileDescriptor DecodeDescriptor(const uint8_t* d) {
    SubfileDescriptor descriptor;
    descriptor.start = ReadLe32(d + kStartAt);
    descriptor.end = ReadLe32(d + kEndAt);
    std::memcpy(descriptor.extra.data(), d + kExtraAt, descriptor.extra.size());
    std::memcpy(descriptor.descriptorBytes.data(), d + kBytesAt, descriptor.descriptorBytes.size());
    descriptor.version = static_cast<uint16_t>((d[kVersionAt] << 8) | d[kVersionAt + 1]);
    descriptor.declaredChecksum = ReadLe16(d + kChecksumAt);
    descriptor.type = ReadLe16(d + kTypeAt);
    return descriptor;
}

void EncodeDescriptor(const SubfileDescriptor& descriptor, uint8_t* d) {
    WriteLe32(d + kStartAt, descriptor.start);
    WriteLe32(d + kEndAt, descriptor.end);
    std::memcpy(d + kExtraAt, descriptor.extra.data(), descriptor.extra.size());
    std::memcpy(d + kBytesAt, descriptor.descriptorBytes.data(), descriptor.descriptorBytes.size());
    d[kVersionAt] = static_cast<uint8_t>(descriptor.version >> 8);
    d[kVersionAt + 1] = static_cast<uint8_t>(descriptor.version);
    WriteLe16(d + kChecksumAt, descriptor.declaredChecksum);
    WriteLe16(d + kTypeAt, descriptor.type);
}

SubfileDescriptor DescriptorAt(const SuperfileHeader& header, int slot) {
    return DecodeDescriptor(header.data() + DescriptorOffset(slot));
}

uint16_t FileCount(const SuperfileHeader& header) {
    return ReadLe16(header.data() + kFileCountOffset);
}

std::string HeaderText(const SuperfileHeader& header, size_t offset, size_t room) {
    const char* start = reinterpret_cast<const char*>(header.data() + offset);
    return std::string(start, strnlen(start, room));
}

HeaderVerdict CheckHeaderKind(const SuperfileHeader& header) {
    std::string kind = HeaderText(header, kKindOffset, kKindRoom);
    if (kind == "R4X Superfile") {
        return HeaderVerdict::WrongCustomer;
    }
    if (kind != "K380 Superfile") {
        return HeaderVerdict::Invalid;
    }
    return FileCount(header) > kSlots ? HeaderVerdict::TooManyFiles : HeaderVerdict::Valid;
}

DescriptorWalk WalkDescriptors(const SuperfileHeader& header) {
    DescriptorWalk walk;
    const int fileCount = FileCount(header);
    int counted = 0;
    if (fileCount > 0) {
        SubfileDescriptor ram = DescriptorAt(header, kRamDownloaderSlot);
        if (ram.end < ram.start) {
            walk.verdict = HeaderVerdict::Invalid;
            return walk;
        }
        walk.present.set(kRamDownloaderSlot);
        walk.walked = kBootSlot;
        counted = 1;
        if (counted < fileCount) {
            if (!DescriptorAt(header, kBootSlot).Empty()) {
                walk.verdict = HeaderVerdict::BootSlotUsed;
                return walk;
            }
            walk.walked = kFirstCodeGroupSlot;
        }
        for (int slot = kFirstCodeGroupSlot; slot < kSlots && counted < fileCount; ++slot) {
            SubfileDescriptor descriptor = DescriptorAt(header, slot);
            if (descriptor.Empty()) {
                walk.walked = slot + 1;
                continue;
            }
            if (descriptor.end < descriptor.start) {
                walk.verdict = HeaderVerdict::Invalid;
                return walk;
            }
            walk.present.set(static_cast<size_t>(slot));
            walk.walked = slot + 1;
            ++counted;
        }
    }
    bool leftOver = false;
    for (int slot = walk.walked; slot < kSlots && !leftOver; ++slot) {
        leftOver = !DescriptorAt(header, slot).Empty();
    }
    if (counted < fileCount || leftOver) {
        walk.verdict = HeaderVerdict::CountMismatch;
    }
    return walk;
}

HeaderVerdict ParseSuperfileHeader(const uint8_t* data, size_t size, SuperfileHeader& header,
                                   DescriptorWalk& walk) {
    header.fill(0);
    walk = DescriptorWalk{};
    if (data == nullptr || size < kHeaderSize) {
        return HeaderVerdict::Invalid;
    }
    std::copy_n(data, kHeaderSize, header.begin());
    HeaderVerdict verdict = CheckHeaderKind(header);
    if (verdict != HeaderVerdict::Valid) {
        return verdict;
    }
    walk = WalkDescriptors(header);
    return walk.verdict;
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

}  // namespace shx
