#include "CaseRunner.h"

#include "Invariant.h"
#include "OrxHost.h"
#include "Phone.h"

namespace campaign {

namespace {

// A phone in normal operation behind the test-command interface is brought
// to flash mode by the host, as the dialog's connection does; FlashDevice's
// job connects without it.
void Suspend(phonesim::Phone& phone) {
    if (phone.CurrentMode() == phonesim::Mode::Os &&
        phone.HasInterface(phonesim::kTestCommandInterface)) {
        std::string reply;
        phone.TestCommand("SUSPEND", reply);
    }
}

// The attempt that must leave the phone flashed: no fault, powered, suspended.
void PrepareRetry(phonesim::Phone& phone) {
    phone.ClearFaults();
    if (!phone.IsPowered()) {
        phone.PowerOn();
        ORXRefreshConnections();
    }
    Suspend(phone);
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Flashed:
            return "flashed";
        case Outcome::Recovered:
            return "failed, then flashed by the retry";
        case Outcome::Refused:
            return "refused for its own reason, phone untouched";
        case Outcome::FalseSuccess:
            return "FALSE SUCCESS";
        case Outcome::NotRecoverable:
            return "NOT RECOVERABLE";
        case Outcome::Hang:
            return "HANG";
    }
    return "?";
}

// The reason an attempt was refused: its last error before the failure
// banner. Earlier lines may differ with the phone's mode (a blank phone that
// lost power comes back in its restart mode) while the refusal is the same.
std::string Signature(const Attempt& attempt) {
    for (auto error = attempt.errors.rbegin(); error != attempt.errors.rend(); ++error) {
        if (error->find("Flash FAILED!!!") == std::string::npos) {
            return *error;
        }
    }
    return {};
}

Baseline BaselineOf(const RunRecord& record) {
    Baseline baseline;
    baseline.requests = record.requests;
    baseline.outcome = record.outcome;
    baseline.initialState = record.initialState;
    if (record.outcome == Outcome::Refused && record.retry) {
        baseline.refusal = Signature(*record.retry);
    }
    return baseline;
}

RunRecord RunCase(CaseContext& context, const Release& release, const PhoneVariant& variant,
                  const CaseId& id, const Baseline* baseline, uint16_t deviceId) {
    RunRecord record;
    record.id = id;
    auto phone = phonesim::Phone::FromJson(MakeProfile(variant, release, deviceId).dump());
    orxhost::AttachPhone(phone);
    Suspend(*phone);
    const std::vector<uint8_t> settingsBefore = phone->SettingsData();
    const uint64_t initialState = baseline ? baseline->initialState : PhoneStateHash(*phone);
    record.initialState = initialState;
    const uint64_t requestsBefore = phone->RequestCount();
    if (id.fault) {
        phone->AddFault(id.fault->Order());
    }
    record.first = context.host.Flash(release.superfilePath, deviceId, context.bound);
    record.requests = static_cast<uint32_t>(phone->RequestCount() - requestsBefore);
    record.seconds = record.first.seconds;
    if (record.first.hung) {
        record.outcome = Outcome::Hang;
        return record;  // the job still holds the phone and its device number
    }
    auto kept = [&](const std::vector<uint8_t>& settings) {
        return release.KeepsSettings() ? &settings : nullptr;
    };
    if (record.first.result == 0) {
        record.differences = CheckFlashed(*phone, release, kept(settingsBefore));
        record.outcome = record.differences.empty() ? Outcome::Flashed : Outcome::FalseSuccess;
        orxhost::DetachPhone(deviceId);
        return record;
    }

    PrepareRetry(*phone);
    const std::vector<uint8_t> settingsBeforeRetry = phone->SettingsData();
    record.retry = context.host.Flash(release.superfilePath, deviceId, context.bound);
    record.seconds += record.retry->seconds;
    if (record.retry->hung) {
        record.outcome = Outcome::Hang;
        return record;
    }
    if (record.retry->result == 0) {
        record.differences = CheckFlashed(*phone, release, kept(settingsBeforeRetry));
        record.outcome = record.differences.empty() ? Outcome::Recovered : Outcome::FalseSuccess;
        record.settingsLost = release.KeepsSettings() && phone->SettingsData() != settingsBefore;
    } else {
        const bool untouched = PhoneStateHash(*phone) == initialState;
        const std::string refusal = Signature(*record.retry);
        const bool sameRefusal =
            baseline ? baseline->outcome == Outcome::Refused && baseline->refusal == refusal
                     : Signature(record.first) == refusal;
        record.outcome = untouched && sameRefusal ? Outcome::Refused : Outcome::NotRecoverable;
        if (!untouched) {
            record.differences.push_back(
                "the failed attempts changed the phone's flash or settings");
        }
        if (!sameRefusal) {
            record.differences.push_back(
                !baseline ? "the retry failed other than the first attempt"
                : baseline->outcome == Outcome::Refused
                    ? "the retry failed other than the fault-free run is refused: " +
                          baseline->refusal
                    : std::string("the retry failed; the fault-free run: ") +
                          OutcomeName(baseline->outcome));
        }
    }
    orxhost::DetachPhone(deviceId);
    return record;
}

}  // namespace campaign
