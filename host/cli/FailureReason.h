// Why something failed, said on standard error: the module's cause of a
// failure (GetFailureReason) for the calling thread's last export or a
// phone's last job, or the host's own reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FlashModule.h"
#include "PhoneReport.h"

struct ModuleFailure {
    int code = 0;        // the failed export's result; 0 when nothing failed
    std::string reason;  // the module's text, tidied; may be empty
};

// deviceId -1: the calling thread's last failed export; otherwise the
// phone's last job. Nothing when the module has no GetFailureReason.
ModuleFailure AskFailure(const FlashModule& module, int deviceId);

// "orxflash: WHAT: REASON (result N)"; without a reason, what the result means.
void SayFailure(const std::string& what, int result, const std::string& reason);

// For each phone whose result is not 0, "orxflash: phone N was not flashed:
// REASON" (or verified), the reason taken from the phone's last job, which
// must be the step's.
void SayPhoneFailures(const FlashModule& module, PhoneStep step,
                      const std::vector<uint16_t>& devices, const std::vector<int>& results);
// As SayPhoneFailures, for the reasons asked earlier.
struct PhoneFailure {
    uint16_t deviceId = 0;
    int result = 0;
    std::string reason;
};
std::vector<PhoneFailure> PhoneFailures(const FlashModule& module,
                                        const std::vector<uint16_t>& devices,
                                        const std::vector<int>& results);
void SayPhoneFailures(PhoneStep step, const std::vector<PhoneFailure>& failures);

// True when the superfile can be opened for reading; otherwise says why.
bool SuperfileReadable(const std::string& path);
