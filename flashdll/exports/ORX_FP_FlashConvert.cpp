// ConvertSuperfile: the image conversion on its own, for hosts that prepare a
// superfile before they flash (a production line converts once per batch).
#include <cstring>
#include <memory>
#include <new>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashTextArray.h"

static int ConvertSuperfileBody(const char* superfilePath, int* upToDate, OrxTextArray* images) {
    if (superfilePath == nullptr || (images != nullptr && !ValidTextArray(images))) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
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
            if (reader->Record(slot).present) {
                WriteTextEntry(*images, next++, reader->Record(slot).imageName);
            }
        }
        for (; next < images->count; ++next) {
            WriteTextEntry(*images, next, "");
        }
    }
    return ORX_RESULT_OK;
}

extern "C" int ConvertSuperfile(const char* superfilePath, int* upToDate, OrxTextArray* images) {
    return GuardExport("ConvertSuperfile", ORX_RESULT_JOB_FAILED,
                       [&] { return ConvertSuperfileBody(superfilePath, upToDate, images); });
}
