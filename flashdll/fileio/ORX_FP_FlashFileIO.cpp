#include "ORX_FP_FlashFileIO.h"

#include <cstdio>

#include "ORX_FP_FlashState.h"

CFlashFileIO::CFlashFileIO(IFlashView* dialog, std::string superfilePath)
    : superfilePath(std::move(superfilePath)),
      dialog(dialog),
      headless(dialog == nullptr),
      records(shx::kSlots),
      indexTable(shx::kIndexTableSize, 0) {
    perDeviceRoute = IsDeviceMode();
}

CFlashFileIO::~CFlashFileIO() = default;

int CFlashFileIO::PlatformName(uint8_t family, uint8_t variant) {
    bool known = false;
    if (const char* text = shx::PlatformText(family, variant, known)) {
        platformText = text;
    }
    return known ? 1 : 0;
}

std::string CFlashFileIO::FileDate() const {
    return shx::HeaderText(header, shx::kDateOffset, shx::kDateRoom);
}
