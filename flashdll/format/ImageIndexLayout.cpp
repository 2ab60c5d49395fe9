#include "ImageIndexLayout.h"

#include <algorithm>
#include <cstring>

#include "SuperfileNames.h"

namespace shx {

namespace {

// Offsets within an entry.
constexpr size_t kNameOffset = 0;
constexpr size_t kSumOffset = 256;
constexpr size_t kBarkerOffset = 258;
constexpr size_t kPresentOffset = 268;

const uint8_t* EntryAt(const uint8_t* table, int slot) {
    return table + static_cast<size_t>(slot) * kIndexEntrySize;
}

}  // namespace

std::string IndexEntryName(const uint8_t* table, int slot) {
    const char* name = reinterpret_cast<const char*>(EntryAt(table, slot) + kNameOffset);
    return std::string(name, strnlen(name, kIndexNameRoom));
}

uint16_t IndexEntrySum(const uint8_t* table, int slot) {
    return ReadLe16(EntryAt(table, slot) + kSumOffset);
}

bool IndexEntryPresent(const uint8_t* table, int slot) {
    return ReadLe32(EntryAt(table, slot) + kPresentOffset) == 1;
}

// An index copied along with another superfile's images never matches.
bool IndexNamesMatch(const uint8_t* table, const std::string& superfilePath) {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!IndexEntryPresent(table, slot)) {
            continue;
        }
        std::string expected = ImageFileName(superfilePath, slot);
        if (expected.empty() || expected.size() >= kIndexNameRoom ||
            IndexEntryName(table, slot) != expected) {
            return false;
        }
    }
    return true;
}

uint16_t IndexChecksum(const uint8_t* header, const uint8_t* table) {
    return static_cast<uint16_t>(Sum16(table, kIndexTableSize) + Sum16(header, kHeaderSize));
}

IndexVerdict ParseIndex(const uint8_t* data, size_t size, IndexView& index) {
    // An index of any other length is damaged or of another layout.
    if (data == nullptr || size != kIndexFileSize) {
        return IndexVerdict::WrongSize;
    }
    index.version = ReadLe16(data);
    if (index.version != kIndexVersion) {
        return IndexVerdict::WrongVersion;
    }
    index.checksum = ReadLe16(data + 2);
    index.superfileChecksum = ReadLe16(data + 4);
    index.header = data + kIndexPreambleSize;
    index.table = data + kIndexPreambleSize + kHeaderSize;
    return index.checksum == IndexChecksum(index.header, index.table) ? IndexVerdict::Valid
                                                                      : IndexVerdict::BadChecksum;
}

void EncodeIndexEntry(uint8_t* table, int slot, const IndexEntryFields& entry) {
    uint8_t* at = table + static_cast<size_t>(slot) * kIndexEntrySize;
    std::memcpy(at + kNameOffset, entry.name.data(), std::min(entry.name.size(), kIndexNameRoom));
    std::memcpy(at + kBarkerOffset, entry.barker.data(), kBarkerSize);
    WriteLe32(at + kPresentOffset, entry.present ? 1 : 0);
    if (entry.hasSum) {
        WriteLe16(at + kSumOffset, entry.sum);
    }
}

std::vector<uint8_t> EncodeIndex(uint16_t superfileChecksum, const uint8_t* header,
                                 const uint8_t* table) {
    std::vector<uint8_t> image(kIndexFileSize);
    WriteLe16(image.data(), kIndexVersion);
    WriteLe16(image.data() + 2, IndexChecksum(header, table));
    WriteLe16(image.data() + 4, superfileChecksum);
    std::memcpy(image.data() + kIndexPreambleSize, header, kHeaderSize);
    std::memcpy(image.data() + kIndexPreambleSize + kHeaderSize, table, kIndexTableSize);
    return image;
}

}  // namespace shx
