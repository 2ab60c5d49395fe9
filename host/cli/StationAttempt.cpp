#include "StationAttempt.h"

#include <chrono>

#include "DeviceNumbers.h"
#include "FailureReason.h"
#include "PhoneIdentity.h"

namespace {

constexpr auto kStopCheck = std::chrono::milliseconds(100);

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The failure's cause from the module: after a failed FlashDevice or
// VerifyDevice, the calling thread's last failure names this phone's.
std::string ReasonOf(const FlashModule& module, int result) {
    std::string reason = AskFailure(module, -1).reason;
    return reason.empty() ? "the module's result was " + std::to_string(result) : reason;
}

// True when the phone already holds the superfile: VerifyDevice passed and
// said so. Its verdict is required, since a verify that compares nothing
// (a phone it does not check) passes without one.
bool UpToDate(StationShared& shared, uint16_t port) {
    shared.view.Phase(port, PortPhase::Checking);
    int result = shared.module.verifyDevice(shared.copy.c_str(), port);
    return shared.view.TakeVerdict(port) && result == 0;
}

}  // namespace

bool SlotTable::Take(uint16_t port, const std::atomic<bool>& draining) {
    int slot = orx::JobSlotOf(port);
    std::unique_lock guard(lock);
    while (taken.count(slot) != 0) {
        if (draining.load()) {
            return false;
        }
        freed.wait_for(guard, kStopCheck);
    }
    taken.insert(slot);
    return true;
}

void SlotTable::Give(uint16_t port) {
    {
        std::lock_guard guard(lock);
        taken.erase(orx::JobSlotOf(port));
    }
    freed.notify_all();
}

AttemptEnd RunAttempt(StationShared& shared, const AttemptInfo& info) {
    auto started = std::chrono::steady_clock::now();
    PhoneIdentity phone = ReadPhoneIdentity(shared.module, info.port);
    AttemptInfo shown = info;
    shown.descriptor = phone.descriptor;
    shown.platform = phone.platform;
    shared.view.Started(shown);
    StationAttempt attempt{info.port,      phone.descriptor, phone.platform,
                           phone.versions, shared.superfile, shared.copy};
    AttemptEnd end;
    int64_t id = 0;
    std::string why;
    if (!shared.recorder.Begin(attempt, id, why)) {
        end.result = ORX_RESULT_FAILED;
        end.reason = "not flashed: its attempt could not be recorded: " + why;
        return end;
    }
    if (!shared.slots.Take(info.port, shared.draining)) {
        end.result = ORX_RESULT_FAILED;
        end.reason = "not flashed: the station was stopped while it waited for its job slot";
    } else {
        if (!shared.force && UpToDate(shared, info.port)) {
            end.outcome = AttemptOutcome::UpToDate;
        } else if (shared.stopping.load()) {
            end.result = ORX_RESULT_JOB_FAILED;
            end.reason = "not flashed: the station was stopped while the phone was checked";
        } else {
            shared.view.Phase(info.port, PortPhase::Flashing);
            OrxFlashDeviceArgs args{shared.copy.c_str(), info.port};
            end.result = shared.module.flashDevice(2, &args);
            end.outcome = end.result == 0 ? AttemptOutcome::Passed : AttemptOutcome::Failed;
            if (end.result != 0) {
                end.reason = ReasonOf(shared.module, end.result);
            }
        }
        shared.slots.Give(info.port);
    }
    end.seconds = SecondsSince(started);
    if (!shared.recorder.Finish(id, attempt, end, why)) {
        shared.view.Notice("phone " + std::to_string(info.port) +
                           ": its outcome could not be recorded: " + why);
    }
    return end;
}
