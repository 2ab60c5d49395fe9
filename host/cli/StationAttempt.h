// One phone's attempt at the station, run on a thread of its own: the phone is
// read, its attempt recorded as begun, checked against the superfile (a phone
// that already holds it is "up to date" and not flashed, unless forced),
// flashed through FlashDevice, and its outcome, with the module's reason,
// recorded and shown.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "FlashModule.h"
#include "StationRecorder.h"
#include "StationView.h"

// The module's job slots: phones that share one (serial ports 1000 to 1031
// and the numbers 128 to 159) take turns instead of one being refused.
class SlotTable {
  public:
    // Waits for the port's slot; false when the station stopped starting
    // phones meanwhile.
    bool Take(uint16_t port, const std::atomic<bool>& draining);
    void Give(uint16_t port);

  private:
    std::mutex lock;
    std::condition_variable freed;
    std::set<int> taken;
};

struct StationShared {
    FlashModule& module;
    StationView& view;
    StationRecorder& recorder;
    SlotTable& slots;
    std::string superfile;  // as given, absolute
    std::string copy;       // what is flashed
    bool force = false;
    std::atomic<bool>& draining;  // no new phone is to start
    std::atomic<bool>& stopping;  // running phones are being stopped
};

// Runs the attempt and returns its end; the view has shown it by then.
AttemptEnd RunAttempt(StationShared& shared, const AttemptInfo& info);
