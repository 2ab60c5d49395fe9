#include "Variants.h"

#include <algorithm>

namespace mkshx {

namespace {

void AddBootRange(Manifest& manifest) {
    ManifestSubfile* boot = manifest.Find(kBootSlot);
    if (boot == nullptr) {
        ManifestSubfile sub;
        sub.slot = kBootSlot;
        auto at = std::find_if(manifest.subfiles.begin(), manifest.subfiles.end(),
                               [](const ManifestSubfile& s) { return s.slot > kBootSlot; });
        boot = &*manifest.subfiles.insert(at, sub);
    }
    boot->hasRange = true;
    boot->start = 0x1000;
    boot->end = 0x1FFF;
}

// The last block of the body: the last sub-file with a block, where code
// group 1 is carried by code group 0's block.
void OmitLastBlock(Manifest& manifest) {
    for (auto it = manifest.subfiles.rbegin(); it != manifest.subfiles.rend(); ++it) {
        if (it->slot == kBootSlot) {
            continue;
        }
        ManifestSubfile* owner = &*it;
        if (owner->slot == 3 && manifest.Find(2) != nullptr) {
            owner = manifest.Find(2);
        }
        owner->omitBlock = true;
        return;
    }
    throw ManifestError("variant missing-block: the manifest has no sub-file with a block");
}

}  // namespace

const std::vector<std::string>& VariantNames() {
    static const std::vector<std::string> names = {"wrong-kind",  "r4x-kind",      "count-259",
                                                   "boot-slot",   "missing-block", "no-checksum",
                                                   "bad-checksum"};
    return names;
}

void ApplyVariant(Manifest& manifest, const std::string& name) {
    if (name == "wrong-kind") {
        manifest.kind = "Some Superfile";
    } else if (name == "r4x-kind") {
        manifest.kind = "R4X Superfile";
    } else if (name == "count-259") {
        manifest.fileCount = 259;
    } else if (name == "boot-slot") {
        AddBootRange(manifest);
    } else if (name == "missing-block") {
        OmitLastBlock(manifest);
    } else if (name == "no-checksum") {
        manifest.checksum = ChecksumMode::None;
    } else if (name == "bad-checksum") {
        manifest.checksum = ChecksumMode::Bad;
    } else {
        std::string known;
        for (const auto& n : VariantNames()) {
            known += (known.empty() ? "" : ", ") + n;
        }
        throw ManifestError("unknown variant \"" + name + "\" (known: " + known + ")");
    }
    ValidateManifest(manifest);
}

}  // namespace mkshx
