#include "ORX_FP_FlashOutcome.h"

#include <array>
#include <mutex>

#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"

namespace {

struct DeviceEntry {
    bool present = false;
    uint16_t deviceNumber = 0;
    JobOutcome outcome;
};

// One entry per job slot; the number is kept too, because two device numbers
// can share a slot (128 and 1000).
struct OutcomeTable {
    std::mutex lock;
    std::array<DeviceEntry, kFlashJobSlots> entries;
};

OutcomeTable& Outcomes() {
    static OutcomeTable table;
    return table;
}

thread_local JobOutcome threadFailure;

}  // namespace

void RecordDeviceOutcome(uint16_t deviceNumber, const JobOutcome& outcome) {
    size_t slot = DeviceSlot(deviceNumber);
    if (slot >= kFlashJobSlots) {
        return;
    }
    std::lock_guard guard(Outcomes().lock);
    Outcomes().entries[slot] = DeviceEntry{true, deviceNumber, outcome};
}

bool DeviceOutcome(uint16_t deviceNumber, JobOutcome& outcome) {
    size_t slot = DeviceSlot(deviceNumber);
    if (slot >= kFlashJobSlots) {
        return false;
    }
    std::lock_guard guard(Outcomes().lock);
    const DeviceEntry& entry = Outcomes().entries[slot];
    if (!entry.present || entry.deviceNumber != deviceNumber) {
        return false;
    }
    outcome = entry.outcome;
    return true;
}

void ClearDeviceOutcomes() {
    std::lock_guard guard(Outcomes().lock);
    Outcomes().entries.fill(DeviceEntry{});
}

void RecordThreadFailure(const JobOutcome& outcome) {
    threadFailure = outcome;
}

JobOutcome ThreadFailure() {
    return threadFailure;
}
