// The campaign as a host: the module opened without a dialog, each phone
// flashed through FlashDevice on a thread of its own under a watchdog, and
// the errors each job reported on its phone's route collected.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace campaign {

struct Attempt {
    int result = -1;    // FlashDevice's answer; -1 when it did not return in time
    bool hung = false;  // still running when the watchdog gave up on it
    double seconds = 0;
    std::vector<std::string> errors;  // the job's error reports, in order
};

// Opens the module (UTCInit, UTCOpen without a dialog) and routes the per-device
// reports to the attempts. One per process.
class ModuleHost {
  public:
    ModuleHost();
    ~ModuleHost();
    ModuleHost(const ModuleHost&) = delete;
    ModuleHost& operator=(const ModuleHost&) = delete;

    bool Opened() const { return opened; }
    // Flashes the phone listed under deviceId from the superfile. A job still
    // running after `bound` is left to itself (its device number must not be
    // used again) and reported as hung.
    Attempt Flash(const std::string& superfile, uint16_t deviceId, std::chrono::milliseconds bound);
    // Closes the module; only when no hung job is left.
    void Close();

  private:
    bool opened = false;
};

}  // namespace campaign
