// Simulated phones plugged in and out over time, so that a whole station runs
// without hardware: "--sim PROFILE[@ARRIVAL[+STAY]]" plugs the profile's phone
// in ARRIVAL seconds after the start (default 0) and, with STAY, unplugs it
// STAY seconds after it arrived, whatever it is doing then (a phone pulled
// out mid-flash). --unplug-after S unplugs every simulated phone S seconds
// after its attempt ended, freeing its port. A phone whose port is taken when
// it is due waits until the port is free.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace phonesim {
class Phone;
}

struct SimArrival {
    std::string profile;
    double at = 0;               // seconds after the start
    std::optional<double> stay;  // seconds after its arrival
};

// Reads "PROFILE", "PROFILE@ARRIVAL" or "PROFILE@ARRIVAL+STAY"; nothing, with
// why, when the times are not numbers of seconds from 0.
std::optional<SimArrival> ParseSimArrival(const std::string& text, std::string& why);

class SimSchedule {
  public:
    SimSchedule(std::vector<SimArrival> arrivals, std::optional<double> unplugAfter);
    // Loads every profile once, so that a bad one stops the station at the start.
    bool Check(std::string& why);
    // Plugs and unplugs the phones due `elapsed` seconds after the start.
    void Tick(double elapsed);
    // The attempt on the port ended `elapsed` seconds after the start.
    void AttemptEnded(uint16_t port, double elapsed);

  private:
    struct Planned {
        SimArrival arrival;
        bool plugged = false;
        bool unplugged = false;
        double pluggedAt = 0;
        std::optional<double> leaveAt;
        uint16_t port = 0;
        std::weak_ptr<phonesim::Phone> phone;
    };
    void Unplug(Planned& planned);
    std::vector<Planned> planned;
    std::optional<double> unplugAfter;
};
