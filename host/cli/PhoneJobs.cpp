#include "PhoneJobs.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

#include "DeviceNumbers.h"
#include "StopSignals.h"

namespace {

// The module keeps one job per slot, and serial numbers 1000 to 1031 share
// slots 128 to 159 with the numbers 128 to 159: phones that share a slot are
// flashed one after the other rather than one of them being refused as busy.
uint16_t SlotOf(uint16_t deviceId) {
    return static_cast<uint16_t>(orx::JobSlotOf(deviceId));
}

// Job indexes grouped by slot, in the order the slots first appear.
std::vector<std::vector<size_t>> BySlot(const std::vector<PhoneJob>& jobs) {
    std::vector<std::vector<size_t>> groups;
    std::map<uint16_t, size_t> groupOfSlot;
    for (size_t i = 0; i < jobs.size(); ++i) {
        auto [found, added] = groupOfSlot.try_emplace(SlotOf(jobs[i].deviceId), groups.size());
        if (added) {
            groups.emplace_back();
        }
        groups[found->second].push_back(i);
    }
    return groups;
}

}  // namespace

std::vector<int> FlashPhones(FlashModule& module, const std::vector<PhoneJob>& jobs,
                             PhoneReport& report, PhoneJobObserver* observer) {
    std::vector<int> results(jobs.size(), ORX_RESULT_FAILED);
    report.Begin(PhoneStep::Flash);
    std::vector<std::vector<size_t>> groups = BySlot(jobs);
    std::vector<std::thread> threads;
    threads.reserve(groups.size());
    for (const std::vector<size_t>& group : groups) {
        auto flashGroup = [&module, &jobs, &results, &report, &group, observer] {
            for (size_t i : group) {
                // After a stop request the phones still waiting for their slot are not started.
                if (StopSignal() == 0 && (observer == nullptr || observer->Starting(jobs[i]))) {
                    OrxFlashDeviceArgs args{jobs[i].superfile.c_str(), jobs[i].deviceId};
                    results[i] = module.flashDevice(2, &args);
                    if (observer != nullptr) {
                        observer->Ended(jobs[i], results[i]);
                    }
                }
                report.OnResult(jobs[i].deviceId, PhoneStep::Flash, results[i]);
            }
        };
        try {
            threads.emplace_back(flashGroup);
        } catch (const std::system_error&) {
            // No thread for these phones: they are not started, the others go on.
            for (size_t i : group) {
                report.OnResult(jobs[i].deviceId, PhoneStep::Flash, results[i]);
            }
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return results;
}

int VerifyPhone(FlashModule& module, const PhoneJob& job, PhoneJobObserver* observer) {
    if (StopSignal() != 0 || (observer != nullptr && !observer->Starting(job))) {
        return ORX_RESULT_FAILED;
    }
    int result = module.verifyDevice(job.superfile.c_str(), job.deviceId);
    if (observer != nullptr) {
        observer->Ended(job, result);
    }
    return result;
}

std::vector<int> VerifyPhones(FlashModule& module, const std::vector<PhoneJob>& jobs,
                              PhoneReport& report, PhoneJobObserver* observer) {
    std::vector<int> results;
    report.Begin(PhoneStep::Verify);
    for (const PhoneJob& job : jobs) {
        results.push_back(VerifyPhone(module, job, observer));
        report.OnResult(job.deviceId, PhoneStep::Verify, results.back());
    }
    return results;
}

bool ModuleTakesDevice(uint16_t deviceId) {
    return orx::HasJobSlot(deviceId);
}

void SayDeviceNotTaken(uint16_t deviceId, PhoneStep step) {
    std::fprintf(stderr,
                 "orxflash: phone %u cannot be %s: the module takes device numbers 0 to 159 and "
                 "the serial ports 1000 to 1031 only\n",
                 static_cast<unsigned>(deviceId),
                 step == PhoneStep::Flash ? "flashed" : "verified");
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ignored;
    std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    return absolute.empty() ? path : absolute.lexically_normal().string();
}
