// One run of the campaign and its verdict.
//
// A phone reported flashed must hold the file (Invariant.h). A phone reported
// failed gets one more attempt with no fault armed (powered on again first if
// it went off, suspended again if it is back in normal operation); that
// attempt must flash it correctly.
//
// Refusals. Some phones cannot take some files, and a correct flash refuses
// them before it changes anything:
// - the file's own reason: a language package whose other code groups the
//   phone does not already hold, a file for another platform;
// - the phone's own reason: its settings status answer is "incompatible", or
//   it refuses the status request.
// Both are properties of the file and of the phone as it was made, so they
// show in the fault-free run of the same file on a fresh phone of the same
// profile: that run is "refused" when both its attempts fail for the same
// reason (the last error report) and leave every code group of the phone's layout and its
// settings data exactly as they were. A failed run whose retry meets that
// very refusal, on a phone still exactly as it was made, counts as refused.
// Any other failing retry is not recoverable: a refusal the fault-free run
// does not show was caused by what the failed attempt did to the phone (a
// language package refused because code group 0 was erased, a serial phone
// left at another line rate than the host's), and a refusal that finds the
// phone changed means the phone was damaged before it was refused.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FaultPlan.h"
#include "ModuleHost.h"
#include "PhoneVariants.h"
#include "Releases.h"

namespace campaign {

enum class Outcome {
    Flashed,         // reported flashed, and it is
    Recovered,       // reported failed, and the retry flashed it
    Refused,         // refused for the file's or the phone's own reason, phone untouched
    FalseSuccess,    // reported flashed (first attempt or retry), and it is not
    NotRecoverable,  // reported failed, and the retry did not flash it
    Hang,            // an attempt outlived the watchdog
};

const char* OutcomeName(Outcome outcome);

// The fault-free run of a release on a phone variant: how many requests the
// phone receives, and what a refusal looks like.
struct Baseline {
    uint32_t requests = 0;
    Outcome outcome = Outcome::Flashed;
    std::string refusal;        // the refused attempt's reason
    uint64_t initialState = 0;  // PhoneStateHash of a phone as made
};

struct RunRecord {
    CaseId id;
    Outcome outcome = Outcome::Flashed;
    double seconds = 0;
    uint32_t requests = 0;  // requests the phone received in the first attempt
    Attempt first;
    std::optional<Attempt> retry;
    std::vector<std::string> differences;
    bool settingsLost = false;  // a failed attempt cost the settings data the file keeps
    uint64_t initialState = 0;
};

struct CaseContext {
    ModuleHost& host;
    std::chrono::milliseconds bound;
};

// Runs one case on a fresh phone listed under deviceId. Without a baseline
// the run is the fault-free one and classifies its own refusals.
RunRecord RunCase(CaseContext& context, const Release& release, const PhoneVariant& variant,
                  const CaseId& id, const Baseline* baseline, uint16_t deviceId);

// The baseline a fault-free run gives.
Baseline BaselineOf(const RunRecord& record);

// The reason an attempt failed: its last error report before the banner.
std::string Signature(const Attempt& attempt);

}  // namespace campaign
