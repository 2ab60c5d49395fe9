// The outcome of a job or an export as a value: its result code, the flash
// device library's error code where there is one, and the text of the failure
// that ended it. Kept per phone and per calling thread, so that a host learns
// why a phone failed without reading the reports' text.
#pragma once

#include <cstdint>
#include <string>

struct JobOutcome {
    int code = 0;            // the export's result code (0 when it succeeded)
    uint32_t errorCode = 0;  // the device library's error code, 0 when none
    std::string reason;      // the failure's text, empty on success
};

// The last job of a device number, kept until the next job of that number.
void RecordDeviceOutcome(uint16_t deviceNumber, const JobOutcome& outcome);
// False when no job of that number has ended since the module was loaded.
bool DeviceOutcome(uint16_t deviceNumber, JobOutcome& outcome);
// Forgets every device's outcome (a fresh module, or a test's start).
void ClearDeviceOutcomes();

// The last failure of an export called on this thread; a later success leaves
// it as it is.
void RecordThreadFailure(const JobOutcome& outcome);
JobOutcome ThreadFailure();
