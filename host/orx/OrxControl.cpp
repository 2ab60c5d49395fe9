#include <algorithm>

#include "OrxState.h"

namespace orxhost {
namespace detail {

HostState& State() {
    static HostState state;
    return state;
}

int EnterCall(const char* function) {
    HostState& state = State();
    std::lock_guard guard(state.lock);
    ++state.calls[function];
    auto found = state.failures.find(function);
    if (found == state.failures.end() || found->second.remaining <= 0) {
        return 0;
    }
    --found->second.remaining;
    return found->second.code;
}

}  // namespace detail

using detail::State;

std::shared_ptr<DisplaySink> SetDisplaySink(std::shared_ptr<DisplaySink> sink) {
    std::lock_guard guard(State().lock);
    std::swap(State().sink, sink);
    return sink;
}

void AddDevice(const DeviceEntry& device) {
    std::lock_guard guard(State().lock);
    auto& devices = State().devices;
    auto same = [&](const DeviceEntry& d) { return d.deviceId == device.deviceId; };
    auto found = std::find_if(devices.begin(), devices.end(), same);
    if (found != devices.end()) {
        *found = device;
    } else {
        devices.push_back(device);
    }
}

void RemoveDevice(uint16_t deviceId) {
    std::lock_guard guard(State().lock);
    std::erase_if(State().devices, [&](const DeviceEntry& d) { return d.deviceId == deviceId; });
}

void ClearDevices() {
    std::lock_guard guard(State().lock);
    State().devices.clear();
}

std::vector<DeviceEntry> Devices() {
    std::lock_guard guard(State().lock);
    return State().devices;
}

void InjectFailure(const std::string& function, int code, int times) {
    std::lock_guard guard(State().lock);
    State().failures[function] = {code, times};
}

void ClearFailures() {
    std::lock_guard guard(State().lock);
    State().failures.clear();
}

int CallCount(const std::string& function) {
    std::lock_guard guard(State().lock);
    auto found = State().calls.find(function);
    return found == State().calls.end() ? 0 : found->second;
}

void Reset() {
    std::lock_guard guard(State().lock);
    State().sink.reset();
    State().devices.clear();
    State().failures.clear();
    State().calls.clear();
}

}  // namespace orxhost
