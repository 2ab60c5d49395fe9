// orxflash station: flashes every phone as it is plugged in, one attempt per
// phone on a thread of its own, with a board of ports, until a number of
// phones passed or Ctrl-C.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "AttemptRecorder.h"

namespace CLI {
class App;
}

struct StationOptions {
    std::string superfile;
    int count = 0;                  // 0: until stopped
    RecordOptions record;           // --db FILE, --no-db
    std::vector<std::string> sims;  // PROFILE[@ARRIVAL[+STAY]]
    std::optional<double> unplugAfter;
    bool json = false;
    bool force = false;
};

void AddStationCommand(CLI::App& app, StationOptions& options);
// 0 when --count phones passed; 1 when the station could not start, 3 when
// its attempts cannot be recorded; 130 or 143 when a signal ended it.
int RunStationCommand(const StationOptions& options, const std::string& modulePath);
