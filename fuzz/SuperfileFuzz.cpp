// Fuzz target for the superfile format layer, in memory: the image index,
// the header with its descriptor walk, and the trailer's checksum marker.
// What the layer decodes, it encodes back to the same bytes.
// Input: a 4-byte little-endian length n, then n bytes of superfile, then the
// rest as the superfile's index file. As the reader does, a valid index
// supplies the header; otherwise the superfile's own bytes do.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ImageIndexLayout.h"
#include "SuperfileFormat.h"
#include "SuperfileNames.h"

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// What a valid walk promises the converter: slot 0 present, slot 1 never,
// every present range the right way round, and as many code groups as counted.
void CheckWalk(const shx::SuperfileHeader& header, const shx::DescriptorWalk& walk) {
    const int fileCount = shx::FileCount(header);
    Check(walk.walked >= 0 && walk.walked <= shx::kSlots);
    Check(!walk.present[shx::kBootSlot]);
    Check(static_cast<int>(walk.present.count()) == fileCount);
    Check(fileCount == 0 || walk.present[shx::kRamDownloaderSlot]);
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        shx::SubfileDescriptor descriptor = shx::DescriptorAt(header, slot);
        if (walk.present[static_cast<size_t>(slot)]) {
            Check(slot < walk.walked && descriptor.start <= descriptor.end);
            bool known = false;
            shx::PlatformText(descriptor.Family(), descriptor.Variant(), known);
            Check(slot == shx::kRamDownloaderSlot || !shx::ImageFileName("f.shx", slot).empty());
        } else if (slot >= walk.walked) {
            Check(descriptor.Empty());
        }
    }
}

// Every descriptor, decoded and encoded again, gives back its 28 bytes.
void CheckDescriptorsRoundTrip(const shx::SuperfileHeader& header) {
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        uint8_t bytes[shx::kDescriptorSize];
        shx::EncodeDescriptor(shx::DescriptorAt(header, slot), bytes);
        Check(std::memcmp(bytes, header.data() + shx::DescriptorOffset(slot), sizeof bytes) == 0);
    }
}

// A valid index encodes back to itself, and each entry's fields written into
// a fresh table read back the same.
void CheckIndexRoundTrip(const uint8_t* index, size_t size, const shx::IndexView& view) {
    std::vector<uint8_t> again = shx::EncodeIndex(view.superfileChecksum, view.header, view.table);
    Check(again.size() == size && std::memcmp(again.data(), index, size) == 0);
    std::vector<uint8_t> table(shx::kIndexTableSize, 0);
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        shx::IndexEntryFields entry;
        entry.name = shx::IndexEntryName(view.table, slot);
        Check(entry.name.size() <= shx::kIndexNameRoom);
        entry.present = shx::IndexEntryPresent(view.table, slot);
        entry.hasSum = true;
        entry.sum = shx::IndexEntrySum(view.table, slot);
        shx::EncodeIndexEntry(table.data(), slot, entry);
        Check(shx::IndexEntryName(table.data(), slot) == entry.name);
        Check(shx::IndexEntryPresent(table.data(), slot) == entry.present);
        Check(shx::IndexEntrySum(table.data(), slot) == entry.sum);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    size_t split = shx::ReadLe32(data);
    data += 4;
    size -= 4;
    if (split > size) {
        split = size;
    }
    const uint8_t* superfile = data;
    const uint8_t* index = data + split;
    const size_t indexSize = size - split;

    size_t tailLength = split < shx::kTrailerSize ? split : shx::kTrailerSize;
    shx::StoredChecksum stored =
        shx::FindStoredChecksum(superfile + split - tailLength, tailLength);
    Check(!stored.found ||
          (stored.excludedFrom <= stored.excludedTo && stored.excludedTo <= tailLength));

    shx::SuperfileHeader header{};
    shx::DescriptorWalk walk;
    shx::IndexView view;
    shx::IndexVerdict indexVerdict = shx::ParseIndex(index, indexSize, view);
    shx::HeaderVerdict verdict;
    if (indexVerdict == shx::IndexVerdict::Valid) {
        shx::IndexNamesMatch(view.table, "f.shx");
        CheckIndexRoundTrip(index, indexSize, view);
        verdict = shx::ParseSuperfileHeader(view.header, shx::kHeaderSize, header, walk);
    } else {
        verdict = shx::ParseSuperfileHeader(superfile, split, header, walk);
    }
    CheckDescriptorsRoundTrip(header);
    if (verdict == shx::HeaderVerdict::Valid) {
        CheckWalk(header, walk);
        Check(shx::HeaderText(header, shx::kDateOffset, shx::kDateRoom).size() <
              shx::kDateRoom + 1);
    }
    // The hex-field rule on raw bytes too.
    std::string_view text(reinterpret_cast<const char*>(superfile), split);
    for (size_t offset = 0; offset < 16 && offset < split; ++offset) {
        shx::ParseHexField(text, offset, superfile[offset] & 0x1F);
    }
    return 0;
}
