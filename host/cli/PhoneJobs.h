// Runs the module's per-phone exports for several phones: every flash through
// FlashDevice on a thread of its own, so that each phone reports to the host
// under its device number and all phones are flashed at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FlashModule.h"
#include "PhoneReport.h"

struct PhoneJob {
    uint16_t deviceId = 0;
    std::string superfile;  // absolute path
};

// Told of each phone's job on the job's own thread: Starting just before the
// module is called (false: the phone is not started and counts as failed),
// Ended with the module's result once a started job returns. Implementations
// must be thread-safe.
class PhoneJobObserver {
  public:
    virtual ~PhoneJobObserver() = default;
    virtual bool Starting(const PhoneJob& job) = 0;
    virtual void Ended(const PhoneJob& job, int result) = 0;
};

// Flashes every phone in parallel (phones that share a job slot of the
// module one after the other) and returns FlashDevice's results in job order,
// once every phone has ended. Each result reaches the report as soon as its
// phone ends.
std::vector<int> FlashPhones(FlashModule& module, const std::vector<PhoneJob>& jobs,
                             PhoneReport& report, PhoneJobObserver* observer = nullptr);

// Verifies the phones one after the other through VerifyDevice.
std::vector<int> VerifyPhones(FlashModule& module, const std::vector<PhoneJob>& jobs,
                              PhoneReport& report, PhoneJobObserver* observer = nullptr);
// One phone through VerifyDevice, told to the observer, without a report.
int VerifyPhone(FlashModule& module, const PhoneJob& job, PhoneJobObserver* observer);

// True for the device numbers the module has a job slot for: 0 to 159, and
// the serial ports 1000 to 1031. FlashDevice refuses every other with 3.
bool ModuleTakesDevice(uint16_t deviceId);
// Says on standard error why the module cannot flash or verify the phone.
void SayDeviceNotTaken(uint16_t deviceId, PhoneStep step);

// The superfile's absolute path, as the module wants it.
std::string AbsolutePath(const std::string& path);
