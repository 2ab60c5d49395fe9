#include "StationSchedule.h"

#include <cmath>
#include <cstdio>

#include "OrxHost.h"
#include "Phone.h"

namespace {

bool Seconds(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(value) && value >= 0;
}

}  // namespace

std::optional<SimArrival> ParseSimArrival(const std::string& text, std::string& why) {
    SimArrival arrival;
    size_t at = text.rfind('@');
    // An @ inside the profile's path is not a time.
    if (at == std::string::npos || text.find('/', at) != std::string::npos) {
        arrival.profile = text;
        return arrival;
    }
    arrival.profile = text.substr(0, at);
    std::string times = text.substr(at + 1);
    size_t plus = times.find('+');
    double stay = 0;
    if (!Seconds(times.substr(0, plus), arrival.at) ||
        (plus != std::string::npos && !Seconds(times.substr(plus + 1), stay))) {
        why = text + ": the times after @ are ARRIVAL[+STAY], in seconds from 0";
        return std::nullopt;
    }
    if (plus != std::string::npos) {
        arrival.stay = stay;
    }
    return arrival;
}

SimSchedule::SimSchedule(std::vector<SimArrival> arrivals, std::optional<double> unplugAfter)
    : unplugAfter(unplugAfter) {
    for (SimArrival& arrival : arrivals) {
        planned.push_back(Planned{std::move(arrival), false, false, 0, std::nullopt, 0, {}});
    }
}

bool SimSchedule::Check(std::string& why) {
    for (Planned& plan : planned) {
        try {
            plan.port = phonesim::Phone::FromFile(plan.arrival.profile)->DeviceId();
        } catch (const std::exception& error) {
            why = plan.arrival.profile + ": " + error.what();
            return false;
        }
    }
    return true;
}

void SimSchedule::Unplug(Planned& plan) {
    plan.unplugged = true;
    // Only the phone this schedule plugged in, never a later one on its port.
    std::shared_ptr<phonesim::Phone> phone = plan.phone.lock();
    if (phone != nullptr && orxhost::FindPhone(plan.port) == phone) {
        orxhost::DetachPhone(plan.port);
    }
}

void SimSchedule::Tick(double elapsed) {
    for (Planned& plan : planned) {
        if (plan.plugged && !plan.unplugged) {
            bool stayOver = plan.arrival.stay && elapsed >= plan.pluggedAt + *plan.arrival.stay;
            if (stayOver || (plan.leaveAt && elapsed >= *plan.leaveAt)) {
                Unplug(plan);
            }
        }
    }
    for (Planned& plan : planned) {
        if (plan.plugged || elapsed < plan.arrival.at || orxhost::FindPhone(plan.port) != nullptr) {
            continue;  // not due yet, or its port is taken: plugged once it is free
        }
        // Loaded when due, so a phone keeping its state in a file starts from
        // what the phone before it on the schedule left there.
        std::shared_ptr<phonesim::Phone> phone;
        try {
            phone = phonesim::Phone::FromFile(plan.arrival.profile);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "orxflash: %s: %s\n", plan.arrival.profile.c_str(), error.what());
            plan.plugged = plan.unplugged = true;
            continue;
        }
        plan.port = phone->DeviceId();
        plan.phone = orxhost::AttachPhone(phone);
        plan.plugged = true;
        plan.pluggedAt = elapsed;
    }
}

void SimSchedule::AttemptEnded(uint16_t port, double elapsed) {
    if (!unplugAfter) {
        return;
    }
    for (Planned& plan : planned) {
        if (plan.plugged && !plan.unplugged && plan.port == port && !plan.leaveAt) {
            plan.leaveAt = elapsed + *unplugAfter;
        }
    }
}
