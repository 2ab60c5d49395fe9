#include "ORX_FP_FlashGuard.h"

#include <string>

#include "ErrorLog.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"

namespace {
constexpr const char* kSource = "ORX_FP_Flash";
}

void ReportExportFailure(const char* exportName, const char* what, int deviceId) noexcept {
    try {
        const std::string text = std::string(exportName) + " failed unexpectedly: " + what;
        if (headlessMode.load() == 0) {
            HostDisplayError(text);
        } else if (deviceId >= 0 && IsDeviceMode() != 0) {
            HostDisplayErrorEx(static_cast<uint16_t>(deviceId), text);
        } else {
            ConsolePrintLine(text);
        }
        LogFlashError(__LINE__, text, kSource);
    } catch (...) {
        // Nothing more can be said; the caller still gets its failure code.
    }
}
