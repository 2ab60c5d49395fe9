#include "ORX_FP_FlashFileIO.h"

#include <cstdio>

CFlashFileIO::CFlashFileIO(IFlashView* dialog, std::string superfilePath, const JobContext& job)
    : superfilePath(std::move(superfilePath)),
      dialog(dialog),
      context(job.WithRoute(dialog != nullptr ? ReportRoute::Dialog : job.RouteWithoutDialog())),
      headless(dialog == nullptr),
      records(shx::kSlots),
      indexTable(shx::kIndexTableSize, 0) {}

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
