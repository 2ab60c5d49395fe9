// ConvertSuperfile: the image conversion on its own, for hosts that prepare a
// superfile before they flash (a production line converts once per batch).
#include <cstring>
#include <memory>
#include <new>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashState.h"

extern "C" int ConvertSuperfile(const char* superfilePath, int* upToDate, OrxTextArray* images) {
    if (superfilePath == nullptr ||
        (images != nullptr &&
         (images->count < 0 || (images->count > 0 && images->entries == nullptr)))) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    try {
        auto reader = std::make_unique<CFlashFileIO>(nullptr, superfilePath);
        if (reader->PrepareImages() != 1) {
            return ORX_RESULT_JOB_FAILED;
        }
        if (upToDate != nullptr) {
            *upToDate = reader->ImagesUpToDate() ? 1 : 0;
        }
        if (images != nullptr) {
            int next = 0;
            for (int slot = 0; slot < shx::kSlots; ++slot) {
                const SubfileRecord& record = reader->Record(slot);
                if (!record.present || next >= images->count) {
                    continue;
                }
                char* entry = images->entries[next++];
                if (entry != nullptr && images->entrySize > 0) {
                    size_t length = std::min(record.imageName.size(), images->entrySize - 1);
                    std::memcpy(entry, record.imageName.data(), length);
                    entry[length] = '\0';
                }
            }
            for (; next < images->count; ++next) {
                if (images->entries[next] != nullptr && images->entrySize > 0) {
                    images->entries[next][0] = '\0';
                }
            }
        }
        return ORX_RESULT_OK;
    } catch (const std::exception&) {
        return ORX_RESULT_JOB_FAILED;
    }
}
