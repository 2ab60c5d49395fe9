// Byte layouts of the superfile (.shx) and the image index (.hmg), the byte
// sums both use, the fixed-width hex fields of the S-record text, and the
// names of the files derived from a superfile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace shx {

inline constexpr size_t kHeaderSize = 8172;
inline constexpr size_t kKindOffset = 0;
inline constexpr size_t kKindRoom = 320;
inline constexpr size_t kDateOffset = 320;
inline constexpr size_t kDateRoom = 816 - 320;
inline constexpr size_t kBarkerTableOffset = 816;
inline constexpr int kBarkerEntries = 16;
inline constexpr size_t kBarkerSize = 8;
inline constexpr size_t kFileCountOffset = 944;
inline constexpr size_t kDescriptorTableOffset = 948;
inline constexpr size_t kDescriptorSize = 28;
inline constexpr int kSlots = 258;
inline constexpr int kRamDownloaderSlot = 0;
inline constexpr int kBootSlot = 1;
inline constexpr int kFirstCodeGroupSlot = 2;
inline constexpr size_t kTrailerSize = 64;

inline constexpr uint16_t kSubfileTypeBarker = 2;
inline constexpr uint16_t kSubfileTypeCombo = 4;
inline constexpr uint16_t kSubfileTypeMarked = 8;

inline constexpr uint16_t kIndexVersion = 1;
inline constexpr size_t kIndexEntrySize = 272;
inline constexpr size_t kIndexNameRoom = 256;
inline constexpr size_t kIndexTableSize = kSlots * kIndexEntrySize;
inline constexpr size_t kIndexFileSize = 6 + kHeaderSize + kIndexTableSize;

using SuperfileHeader = std::array<uint8_t, kHeaderSize>;

struct SubfileDescriptor {
    uint32_t start = 0;
    uint32_t end = 0;
    std::array<uint8_t, 8> extra{};
    std::array<uint8_t, 6> descriptorBytes{};  // flag, variant, family, three carried bytes
    uint16_t version = 0;                      // stored big-endian
    uint16_t declaredChecksum = 0;
    uint16_t type = 0;

    bool Empty() const { return start == 0 && end == 0; }
    uint8_t Flag() const { return descriptorBytes[0]; }
    uint8_t Variant() const { return descriptorBytes[1]; }
    uint8_t Family() const { return descriptorBytes[2]; }
};

uint16_t ReadLe16(const uint8_t* bytes);
uint32_t ReadLe32(const uint8_t* bytes);
void WriteLe16(uint8_t* bytes, uint16_t value);
void WriteLe32(uint8_t* bytes, uint32_t value);

SubfileDescriptor DescriptorAt(const SuperfileHeader& header, int slot);
uint16_t FileCount(const SuperfileHeader& header);
// A NUL-terminated text within a room of the header, cut at the room's end.
std::string HeaderText(const SuperfileHeader& header, size_t offset, size_t room);

// Sum of unsigned bytes, in full width; callers keep the bits they need.
uint64_t ByteSum(const uint8_t* bytes, size_t count);
inline uint16_t Sum16(const uint8_t* bytes, size_t count) {
    return static_cast<uint16_t>(ByteSum(bytes, count));
}
inline uint8_t Sum8(const uint8_t* bytes, size_t count) {
    return static_cast<uint8_t>(ByteSum(bytes, count));
}

// The value of `width` characters (at most 15) at `offset` of a line, read as
// hex after leading blanks up to the first non-hex character. A field with no
// hex digit, also one past the end of the line, reads as `width`.
uint32_t ParseHexField(std::string_view line, size_t offset, size_t width);

// The platform text for a descriptor's family and variant bytes. known is false
// for family 0 and 6 to 255 ("Unknown Platform"); nullptr means a known family
// whose variant has no name, and the caller keeps its previous text.
const char* PlatformText(uint8_t family, uint8_t variant, bool& known);

// Where the superfile checksum sits in the last bytes of a file.
struct StoredChecksum {
    bool found = false;       // an "S7" and a "4353" after it
    uint16_t value = 0;       // the four hex digits after the marker
    size_t excludedFrom = 0;  // offset within the tail of the first "S7"
    size_t excludedTo = 0;    // end of the tail text (its first NUL, or its length)
};
StoredChecksum FindStoredChecksum(const uint8_t* tail, size_t length);

// The superfile path with every ".shx" removed: the stem of its derived files.
std::string ImageBase(const std::string& superfilePath);
// The image file of a slot (none for the boot slot: empty text).
std::string ImageFileName(const std::string& superfilePath, int slot);
std::string IndexFileName(const std::string& superfilePath);

}  // namespace shx
