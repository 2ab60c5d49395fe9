// Byte layouts of the superfile (.shx) and the image index (.hmg), the byte
// sums both use, the fixed-width hex fields of the S-record text, and the
// names of the files derived from a superfile.
#pragma once

#include <array>
#include <bitset>
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

// What a superfile header says of itself, first fault first.
enum class HeaderVerdict {
    Valid,
    Invalid,        // not a superfile of this kind, or a descriptor ending below its start
    WrongCustomer,  // an "R4X Superfile"
    TooManyFiles,   // a file count above kSlots
    BootSlotUsed,   // slot 1 carries a descriptor
    CountMismatch,  // the file count and the descriptors that are not empty disagree
};

// The kind text and the file count: Valid, Invalid, WrongCustomer or TooManyFiles.
HeaderVerdict CheckHeaderKind(const SuperfileHeader& header);

// The descriptor slots the file count covers, in order: slot 0 always, slot 1
// (which must be empty and never counts), then code groups until as many
// non-empty descriptors as the count says were seen. A non-empty descriptor
// left over, or too few, is a CountMismatch.
struct DescriptorWalk {
    HeaderVerdict verdict = HeaderVerdict::Valid;
    int walked = 0;  // slots [0, walked) were looked at; a fault stops at its slot
    std::bitset<kSlots> present;
};
DescriptorWalk WalkDescriptors(const SuperfileHeader& header);

// Both checks on the bytes at the front of a superfile; `header` gets them
// (zeros when there are too few for a header, which is Invalid).
HeaderVerdict ParseSuperfileHeader(const uint8_t* data, size_t size, SuperfileHeader& header,
                                   DescriptorWalk& walk);

// The image index (.hmg): version, the sum of its table and header, the
// stored checksum of the superfile it was written from, that superfile's
// header, and one entry per slot.
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

// The fields of one S-record line.
struct SRecordFields {
    int type = 0;
    int byteCount = 0;
    uint32_t address = 0;
    std::array<uint8_t, 512> data{};
    int dataLength = 0;
};

// Decodes one line of the superfile body (its line end may stay on). Lenient
// on purpose: neither the leading S nor the record checksum is checked, and a
// field that is not hex reads by the field rule above. False for a type
// without an address layout (not 0, 1, 2, 3, 5, 7, 8 or 9): address and data
// are then empty.
bool DecodeSRecordLine(std::string_view line, SRecordFields& fields);
// The same decoding by the field rule alone, without the fast paths; the
// fuzz target holds the two against each other.
bool DecodeSRecordLineByFields(std::string_view line, SRecordFields& fields);

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
