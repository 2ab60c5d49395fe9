#include "SuperfileNames.h"

#include "SuperfileFormat.h"

namespace shx {

std::string ImageBase(const std::string& superfilePath) {
    std::string base;
    base.reserve(superfilePath.size());
    for (size_t i = 0; i < superfilePath.size();) {
        if (superfilePath.compare(i, 4, ".shx") == 0) {
            i += 4;
        } else {
            base += superfilePath[i++];
        }
    }
    return base;
}

std::string ImageFileName(const std::string& superfilePath, int slot) {
    if (slot == kRamDownloaderSlot) {
        return ImageBase(superfilePath) + "RAMDLD.smg";
    }
    if (slot < kFirstCodeGroupSlot || slot >= kSlots) {
        return {};
    }
    return ImageBase(superfilePath) + "CG" + std::to_string(slot - kFirstCodeGroupSlot) + ".smg";
}

std::string IndexFileName(const std::string& superfilePath) {
    return ImageBase(superfilePath) + ".hmg";
}

}  // namespace shx
