// Rules that tie manifest fields together. Run after parsing and again after
// variants change a manifest, so a Manifest built in code is checked too.
#include <string>

#include "Manifest.h"

namespace mkshx {

namespace {

constexpr size_t kKindRoom = 320;        // kind text up to the date at 320
constexpr size_t kDateRoom = 816 - 320;  // date text up to the barker table
constexpr int kBarkerTableSlots = 16;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw ManifestError("manifest: " + where + ": " + what);
}

void CheckText(const std::string& text, size_t room, const std::string& where) {
    if (text.size() >= room) {
        Fail(where, "longer than the " + std::to_string(room - 1) + " bytes the header holds");
    }
    if (text.find('\0') != std::string::npos) {
        Fail(where, "must not contain a NUL character");
    }
}

void CheckSubfile(const Manifest& manifest, const ManifestSubfile& sub) {
    const std::string where = "slot " + std::to_string(sub.slot);
    if (sub.slot < 0 || sub.slot >= kSlotCount) {
        Fail(where, "out of range 0..257");
    }
    if (!sub.hasRange) {
        if (sub.slot != kBootSlot) {
            Fail(where, "needs an address range");
        }
    } else if (sub.start == 0 && sub.end == 0) {
        Fail(where, "start and end both 0 read as an empty slot; leave the slot out instead");
    }
    if (sub.Inverted() && !manifest.allowInverted) {
        Fail(where,
             "end is below start; set \"allowInverted\": true for a deliberately "
             "malformed file");
    }
    if (sub.Size() > kMaxSubfileSize) {
        Fail(where, "larger than the 1 GiB limit of this builder");
    }
    if (sub.data.kind == DataKind::Hex && sub.data.hex.size() > sub.Size()) {
        Fail(where, "hex data has " + std::to_string(sub.data.hex.size()) +
                        " bytes but the sub-file holds only " + std::to_string(sub.Size()));
    }
    for (const Hole& hole : sub.holes) {
        if (hole.length == 0 || uint64_t{hole.offset} + hole.length > sub.Size()) {
            Fail(where, "hole [" + std::to_string(hole.offset) + ", " +
                            std::to_string(hole.length) +
                            "] must be non-empty and lie inside the sub-file");
        }
    }
    for (const ExtraRecord& record : sub.extraRecords) {
        if (record.data.empty() || record.data.size() > kMaxRecordBytes) {
            Fail(where, "an extra record must carry 1 to 250 bytes");
        }
        if (uint64_t{record.address} + record.data.size() - 1 > UINT32_MAX) {
            Fail(where, "an extra record runs past address 0xFFFFFFFF");
        }
    }
    if (sub.slot == kBootSlot &&
        (!sub.holes.empty() || !sub.extraRecords.empty() || sub.omitBlock)) {
        Fail(where, "slot 1 never has a block, so no holes, extra records or omitBlock");
    }
    if (sub.descriptor && sub.HasImage() && sub.Size() < 16) {
        Fail(where, "\"descriptor\" needs at least 16 bytes: it goes to image bytes 8 to 15");
    }
    if (sub.type == 2 && sub.HasImage() && sub.Size() < 8) {
        Fail(where, "type 2 needs at least 8 bytes for its barker code");
    }
    if (sub.slot >= kBarkerTableSlots) {
        if (sub.tableEntry) {
            Fail(where, "the header barker table has entries for slots 0 to 15 only");
        }
        if (sub.barker && sub.type != 2) {
            Fail(where,
                 "\"barker\" on a sub-file other than type 2 sets the barker table "
                 "entry, which exists for slots 0 to 15 only");
        }
    }
    if (sub.slot == 3 && sub.omitBlock && manifest.Find(2) != nullptr) {
        Fail(where, "code group 1 shares the block of code group 0; set omitBlock on slot 2");
    }
}

}  // namespace

void ValidateManifest(const Manifest& manifest) {
    CheckText(manifest.kind, kKindRoom, "kind");
    CheckText(manifest.date, kDateRoom, "date");
    if (manifest.recordBytes < 1 || manifest.recordBytes > kMaxRecordBytes) {
        Fail("recordBytes", "must be 1 to 250");
    }
    int previous = -1;
    for (const ManifestSubfile& sub : manifest.subfiles) {
        if (sub.slot <= previous) {
            Fail("subfiles",
                 "slots must be given once each, in order (slot " + std::to_string(sub.slot) + ")");
        }
        previous = sub.slot;
        CheckSubfile(manifest, sub);
    }
}

}  // namespace mkshx
