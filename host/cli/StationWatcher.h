// The station's watch over the host's device list: polled a few times a
// second, each phone that appears on a port starts an attempt on a thread of
// its own, a phone that leaves is shown unplugged, and a new phone on a port
// starts a new attempt. Ends when --count phones passed or at a stop signal
// (the first lets running attempts finish and starts no new ones; the second
// stops them through the module), always after every attempt has ended.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "StationAttempt.h"
#include "StationSchedule.h"
#include "StationSuperfile.h"

namespace phonesim {
class Phone;
}

// Why a station ended when its results database left its path.
inline constexpr const char* kRecordLost = "results database lost";

class StationWatcher {
  public:
    StationWatcher(StationShared& shared, SimSchedule& schedule, StationSuperfile& superfile,
                   int target);
    ~StationWatcher();
    StationWatcher(const StationWatcher&) = delete;
    StationWatcher& operator=(const StationWatcher&) = delete;

    // Watches until the station ends; returns why: "count reached", "interrupted"
    // or kRecordLost.
    std::string Run();
    StationCounts Counts() const;

  private:
    struct Port {
        bool present = false;
        std::weak_ptr<phonesim::Phone> phone;  // the simulated phone seen, if any
        bool waiting = false;                  // a phone waits for the attempt before it
        bool running = false;
        bool notTakenSaid = false;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void Poll();
    void Arrived(uint16_t id, Port& port);
    void Start(uint16_t id, Port& port);
    void Reap();
    // Counts the attempt's end and shows it.
    void Ended(uint16_t id, const AttemptEnd& end);
    double Elapsed() const;

    StationShared& shared;
    SimSchedule& schedule;
    StationSuperfile& superfile;
    std::chrono::steady_clock::time_point begun = std::chrono::steady_clock::now();
    std::map<uint16_t, std::unique_ptr<Port>> ports;
    mutable std::mutex countsLock;
    StationCounts counts;
    int attempts = 0;
};
