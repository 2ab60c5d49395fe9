// The superfile (.shx) header: its layout, the 28-byte sub-file descriptors
// read and written, the checks a header must pass, the platform names of
// the descriptor bytes, and the checksum marker of the file's last bytes.
// Pure: bytes and sizes in, values out; no files, no reporting.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FormatBytes.h"

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

// The descriptor of a slot (0 to kSlots - 1), and the 28 bytes that hold one.
SubfileDescriptor DescriptorAt(const SuperfileHeader& header, int slot);
SubfileDescriptor DecodeDescriptor(const uint8_t* bytes);
void EncodeDescriptor(const SubfileDescriptor& descriptor, uint8_t* bytes);
// Where a slot's descriptor and barker table entry sit in the header.
inline constexpr size_t DescriptorOffset(int slot) {
    return kDescriptorTableOffset + kDescriptorSize * static_cast<size_t>(slot);
}
inline constexpr size_t BarkerEntryOffset(int slot) {
    return kBarkerTableOffset + kBarkerSize * static_cast<size_t>(slot);
}

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

}  // namespace shx
