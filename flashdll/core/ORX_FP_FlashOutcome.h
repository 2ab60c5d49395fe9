// Outcomes as values: each failure leaves its cause (code and text) where a
// caller can ask for it, so hosts get each phone's outcome without scraping
// the reports. Two records: per device, the last job's outcome; per thread,
// the last failed export's.
#pragma once

#include <cstdint>
#include <string>

// code: an export's result (0 passed, 52 a phone or file failed, ...);
// errorCode: the device library's error code when one caused it, else 0;
// reason: the module's own text of the first failure met, as reported.
struct JobOutcome {
    int code = 0;
    uint32_t errorCode = 0;
    std::string reason;
};

// The outcome of the device's last headless job; replaces the one before.
void RecordDeviceOutcome(uint16_t deviceNumber, const JobOutcome& outcome);
// False when the device has had no job since the module was loaded.
bool DeviceOutcome(uint16_t deviceNumber, JobOutcome& outcome);
// Forgets every device's outcome (a fresh module, or a test's start).
void ClearDeviceOutcomes();

// A failure met on the calling thread. Within one export call (or one job's
// worker) the first failure is kept: what follows it is its consequence
// ("Error Reading File Header" after the file was found not to be a superfile).
void RecordThreadFailure(const JobOutcome& outcome);
// The calling thread's last failed export (code 0 when none failed yet); on a
// job's worker, the job's first failure so far.
JobOutcome ThreadFailure();

// One export call on the calling thread: failures recorded while it runs make
// its outcome, which becomes the thread's failure when the export answers
// with a non-zero result; a call that succeeds leaves the last failure as it
// was. Nested calls count as one. Never throws.
class ThreadFailureScope {
  public:
    ThreadFailureScope() noexcept;
    ~ThreadFailureScope();
    ThreadFailureScope(const ThreadFailureScope&) = delete;
    ThreadFailureScope& operator=(const ThreadFailureScope&) = delete;
    // The export's result; a scope that ends without it leaves nothing.
    void Ended(int result) noexcept;

  private:
    bool outermost = false;
};
