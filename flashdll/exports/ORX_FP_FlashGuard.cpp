#include "ORX_FP_FlashGuard.h"

#include <string>

#include "ErrorLog.h"
#include "ORX_FP_FlashState.h"

namespace {
constexpr const char* kSource = "ORX_FP_Flash";
}

void ReportExportFailure(const char* exportName, const char* what, int failureCode,
                         ExportRoute route) noexcept {
    try {
        const std::string text = std::string(exportName) + " failed unexpectedly: " + what;
        const ReportRoute shownOn = headlessMode.load() == 0 ? ReportRoute::Dialog : route.route;
        JobContext(shownOn, route.deviceNumber).Error(text);
        LogFlashError(__LINE__, text, kSource);
        RecordThreadFailure(JobOutcome{failureCode, 0, text});
    } catch (...) {
        // Nothing more can be said; the caller still gets its failure code.
    }
}
