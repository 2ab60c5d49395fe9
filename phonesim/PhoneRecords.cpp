// The information and checksum records, derived from what the flash holds.
#include <algorithm>
#include <cstring>

#include "FrameCodec.h"
#include "PhoneCore.h"
#include "Protocol.h"

namespace phonesim {

namespace {

// Layout of the information record (FlashDevApi.h, SU_INFO_STRUC).
constexpr size_t kBootloaderAt = 16;
constexpr size_t kCodeGroupsAt = 32;
// Where a code group keeps its descriptor: right after its barker code.
constexpr uint32_t kDescriptorOffset = 8;

}  // namespace

bool PhoneCore::DescriptorShown(const CodeGroupSpec& group) const {
    if (group.range.Size() < kDescriptorOffset + 8) {
        return false;
    }
    if (!group.carriesBarker) {
        return true;
    }
    if (group.number == 0 && codeGroup0Unmarked) {
        return false;
    }
    // Marked only by the whole expected code: the profile's, or the one the
    // last programming put there.
    const Bytes8* expected = group.barker ? &*group.barker : nullptr;
    if (expected == nullptr) {
        auto programmed = programmedBarkers.find(group.number);
        if (programmed == programmedBarkers.end()) {
            return false;
        }
        expected = &programmed->second;
    }
    Bytes8 held{};
    flash.Read(group.range.start, held.data(), held.size());
    return held == *expected;
}

std::vector<uint8_t> PhoneCore::InfoRecord() const {
    std::vector<uint8_t> record(orxproto::kInfoRecordSize, 0xFF);
    // A phone in blank (boot) mode runs no flash bootloader yet.
    if (profile.bootloader && mode != Mode::Blank) {
        const BootloaderSpec& boot = *profile.bootloader;
        uint8_t descriptor[8] = {boot.flag,
                                 boot.chipsetType,
                                 boot.maType,
                                 boot.dataType,
                                 0x00,
                                 0x00,
                                 static_cast<uint8_t>(boot.version >> 8),
                                 static_cast<uint8_t>(boot.version)};
        std::memcpy(record.data() + kBootloaderAt, descriptor, 8);
    }
    for (const CodeGroupSpec& group : profile.layout) {
        if (DescriptorShown(group)) {
            flash.Read(group.range.start + kDescriptorOffset,
                       record.data() + kCodeGroupsAt + 8 * size_t(group.number), 8);
        }
    }
    return record;
}

std::vector<uint8_t> PhoneCore::ChecksumRecord() const {
    orxproto::PayloadWriter record;
    auto entry = [&](bool valid, uint16_t sum) {
        record.U32(valid ? 1 : 0);
        record.U16(valid ? sum : 0);
        record.U16(0);
    };
    const std::optional<BootloaderSpec>& boot = profile.bootloader;
    if (boot && boot->range) {
        entry(true, flash.Sum16(boot->range->start, boot->range->Size()));
    } else {
        entry(boot && boot->checksum, boot && boot->checksum ? *boot->checksum : 0);
    }
    for (int n = 0; n < 256; ++n) {
        const CodeGroupSpec* group = profile.CodeGroup(n);
        entry(group != nullptr, group ? flash.Sum16(group->range.start, group->range.Size()) : 0);
    }
    return record.bytes;
}

}  // namespace phonesim
