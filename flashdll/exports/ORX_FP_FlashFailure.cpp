// GetFailureReason: the cause of a failure as a value, for hosts that show it
// or keep it per phone instead of reading the reports.
#include <algorithm>
#include <cstring>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashOutcome.h"

namespace {

constexpr int kCallingThread = -1;

}  // namespace

static int GetFailureReasonBody(int deviceId, char* reason, int reasonSize) {
    const bool noBuffer = reason == nullptr && reasonSize == 0;
    if (deviceId < kCallingThread || deviceId > 0xFFFF || (!noBuffer && reason == nullptr) ||
        (!noBuffer && reasonSize < 1)) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    JobOutcome outcome;
    if (deviceId == kCallingThread) {
        outcome = ThreadFailure();
    } else if (!DeviceOutcome(static_cast<uint16_t>(deviceId), outcome)) {
        outcome = JobOutcome{};
    }
    if (!noBuffer) {
        size_t length = std::min(outcome.reason.size(), static_cast<size_t>(reasonSize) - 1);
        std::memcpy(reason, outcome.reason.data(), length);
        reason[length] = '\0';
    }
    return outcome.code;
}

extern "C" int GetFailureReason(int deviceId, char* reason, int reasonSize) {
    // Read-only: asking must not replace the failure asked about.
    return GuardCall("GetFailureReason", ORX_RESULT_FAILED,
                     [&] { return GetFailureReasonBody(deviceId, reason, reasonSize); });
}
