// Internal state of the host services stand-in, shared by its sources.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OrxHost.h"

namespace orxhost::detail {

struct Failure {
    int code = 0;
    int remaining = 0;
};

struct HostState {
    std::mutex lock;
    std::shared_ptr<DisplaySink> sink;
    std::vector<DeviceEntry> devices;
    std::map<std::string, Failure> failures;
    std::map<std::string, int> calls;
};

HostState& State();

// Counts the call and answers the injected failure code, or 0.
int EnterCall(const char* function);

}  // namespace orxhost::detail
