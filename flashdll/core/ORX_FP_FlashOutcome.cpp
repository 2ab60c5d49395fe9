#include "ORX_FP_FlashOutcome.h"

#include <map>
#include <mutex>

namespace {

std::mutex deviceOutcomesLock;
std::map<uint16_t, JobOutcome> deviceOutcomes;

// Each thread's records: the last failed export's outcome, and the outcome
// of the export call running now (depth > 0).
struct ThreadRecords {
    JobOutcome last;
    JobOutcome open;
    int depth = 0;
};
thread_local ThreadRecords records;

}  // namespace

void RecordDeviceOutcome(uint16_t deviceNumber, const JobOutcome& outcome) {
    std::lock_guard guard(deviceOutcomesLock);
    deviceOutcomes[deviceNumber] = outcome;
}

bool DeviceOutcome(uint16_t deviceNumber, JobOutcome& outcome) {
    std::lock_guard guard(deviceOutcomesLock);
    auto found = deviceOutcomes.find(deviceNumber);
    if (found == deviceOutcomes.end()) {
        return false;
    }
    outcome = found->second;
    return true;
}

void ClearDeviceOutcomes() {
    std::lock_guard guard(deviceOutcomesLock);
    deviceOutcomes.clear();
}

void RecordThreadFailure(const JobOutcome& outcome) {
    // Outside an export call only a job's worker records: one job per thread.
    JobOutcome& kept = records.depth > 0 ? records.open : records.last;
    if (kept.code == 0) {
        kept = outcome;
    }
}

JobOutcome ThreadFailure() {
    return records.last;
}

ThreadFailureScope::ThreadFailureScope() noexcept : outermost(records.depth == 0) {
    ++records.depth;
}

ThreadFailureScope::~ThreadFailureScope() {
    --records.depth;
    if (outermost) {
        records.open = JobOutcome{};
    }
}

void ThreadFailureScope::Ended(int result) noexcept {
    if (!outermost || result == 0) {
        return;
    }
    try {
        JobOutcome failed = records.open;
        failed.code = result;
        records.last = std::move(failed);
    } catch (...) {
        // No room for the text: the code alone still says the export failed.
        records.last = JobOutcome{};
        records.last.code = result;
    }
}
