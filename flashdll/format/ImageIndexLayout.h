// The image index (.hmg) as bytes: version, the sum of its table and header,
// the stored checksum of the superfile it was written from, that superfile's
// header, and one entry per slot (image file name, its 16-bit sum, barker
// code, whether the slot has an image). Pure: bytes in, bytes out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SuperfileFormat.h"

namespace shx {

inline constexpr uint16_t kIndexVersion = 1;
inline constexpr size_t kIndexEntrySize = 272;
inline constexpr size_t kIndexNameRoom = 256;
inline constexpr size_t kIndexTableSize = kSlots * kIndexEntrySize;
inline constexpr size_t kIndexPreambleSize = 6;  // version, checksum, superfile checksum
inline constexpr size_t kIndexFileSize = kIndexPreambleSize + kHeaderSize + kIndexTableSize;

// WrongSize sets nothing, WrongVersion only the version, the others all.
enum class IndexVerdict { WrongSize, WrongVersion, BadChecksum, Valid };
struct IndexView {
    uint16_t version = 0;
    uint16_t checksum = 0;
    uint16_t superfileChecksum = 0;
    const uint8_t* header = nullptr;  // kHeaderSize bytes within the parsed data
    const uint8_t* table = nullptr;   // kIndexTableSize bytes within the parsed data
};
IndexVerdict ParseIndex(const uint8_t* data, size_t size, IndexView& index);

// An entry of an index table: the image file name, its 16-bit sum, and
// whether the slot has an image.
std::string IndexEntryName(const uint8_t* table, int slot);
uint16_t IndexEntrySum(const uint8_t* table, int slot);
bool IndexEntryPresent(const uint8_t* table, int slot);
// Every entry marked present names the superfile's own image file for its slot.
bool IndexNamesMatch(const uint8_t* table, const std::string& superfilePath);

// What one entry records; a name longer than kIndexNameRoom is cut.
struct IndexEntryFields {
    std::string name;
    std::array<uint8_t, kBarkerSize> barker{};
    bool present = false;
    bool hasSum = false;  // without it the sum stays 0
    uint16_t sum = 0;
};
// Writes a slot's entry into a table of kIndexTableSize bytes, zeroed first.
void EncodeIndexEntry(uint8_t* table, int slot, const IndexEntryFields& entry);
// The sum an index stores for its table and the header it carries.
uint16_t IndexChecksum(const uint8_t* header, const uint8_t* table);
// The whole index file: version kIndexVersion, the checksum of header and table.
std::vector<uint8_t> EncodeIndex(uint16_t superfileChecksum, const uint8_t* header,
                                 const uint8_t* table);

}  // namespace shx
