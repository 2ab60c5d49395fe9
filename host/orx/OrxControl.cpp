#include <algorithm>

#include "OrxState.h"
#include "Phone.h"

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

ORXInterfaceHandle HandleFor(HostState& state, uint16_t deviceId, const std::string& name,
                             uint64_t epoch) {
    auto same = [&](const InterfaceRecord& r) {
        return r.deviceId == deviceId && r.name == name && r.epoch == epoch;
    };
    auto found = std::find_if(state.interfaces.begin(), state.interfaces.end(), same);
    if (found == state.interfaces.end()) {
        state.interfaces.push_back({deviceId, name, epoch});
        found = state.interfaces.end() - 1;
    }
    auto index = static_cast<uintptr_t>(found - state.interfaces.begin());
    return reinterpret_cast<ORXInterfaceHandle>(index + 1);
}

const InterfaceRecord* RecordOf(const HostState& state, ORXInterfaceHandle handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || value > state.interfaces.size()) {
        return nullptr;
    }
    return &state.interfaces[value - 1];
}

std::shared_ptr<phonesim::Phone> PhoneOf(HostState& state, uint16_t deviceId) {
    auto found = state.phones.find(deviceId);
    return found == state.phones.end() ? nullptr : found->second.phone;
}

std::shared_ptr<std::atomic<uint64_t>> BytesSentCounter(HostState& state, uint16_t deviceId) {
    auto& counter = state.bytesSent[deviceId];
    if (!counter) {
        counter = std::make_shared<std::atomic<uint64_t>>(0);
    }
    return counter;
}

void ListDevice(HostState& state, const DeviceEntry& device) {
    auto& devices = state.devices;
    auto same = [&](const DeviceEntry& d) { return d.deviceId == device.deviceId; };
    auto found = std::find_if(devices.begin(), devices.end(), same);
    if (found != devices.end()) {
        *found = device;
    } else {
        devices.push_back(device);
    }
}

}  // namespace detail

using detail::State;

namespace {

// Drops the phone under a device number; the caller holds the lock.
void Unplug(detail::HostState& state, uint16_t deviceId) {
    auto found = state.phones.find(deviceId);
    if (found != state.phones.end()) {
        found->second.phone->CutLinks();
        state.phones.erase(found);
    }
    state.lineRates.erase(deviceId);
}

}  // namespace

std::shared_ptr<DisplaySink> SetDisplaySink(std::shared_ptr<DisplaySink> sink) {
    std::lock_guard guard(State().lock);
    std::swap(State().sink, sink);
    return sink;
}

void AddDevice(const DeviceEntry& device) {
    std::lock_guard guard(State().lock);
    detail::ListDevice(State(), device);
}

void RemoveDevice(uint16_t deviceId) {
    std::lock_guard guard(State().lock);
    Unplug(State(), deviceId);
    std::erase_if(State().devices, [&](const DeviceEntry& d) { return d.deviceId == deviceId; });
}

void ClearDevices() {
    std::lock_guard guard(State().lock);
    while (!State().phones.empty()) {
        Unplug(State(), State().phones.begin()->first);
    }
    State().devices.clear();
}

std::shared_ptr<phonesim::Phone> AttachPhone(const std::string& profilePath, bool selected) {
    return AttachPhone(phonesim::Phone::FromFile(profilePath), selected);
}

std::shared_ptr<phonesim::Phone> AttachPhone(std::shared_ptr<phonesim::Phone> phone,
                                             bool selected) {
    if (!phone) {
        return nullptr;
    }
    std::lock_guard guard(State().lock);
    uint16_t deviceId = phone->DeviceId();
    Unplug(State(), deviceId);
    State().phones[deviceId] = {phone, false};
    if (phone->IsPowered()) {
        detail::ListDevice(State(), {deviceId, selected});
    }
    return phone;
}

void DetachPhone(uint16_t deviceId) {
    RemoveDevice(deviceId);
}

std::shared_ptr<phonesim::Phone> FindPhone(uint16_t deviceId) {
    std::lock_guard guard(State().lock);
    return detail::PhoneOf(State(), deviceId);
}

uint32_t HostLineRate(uint16_t deviceId) {
    std::lock_guard guard(State().lock);
    auto found = State().lineRates.find(deviceId);
    return found == State().lineRates.end() ? 0 : found->second;
}

uint64_t LinkBytesSent(uint16_t deviceId) {
    std::lock_guard guard(State().lock);
    auto found = State().bytesSent.find(deviceId);
    return found == State().bytesSent.end() ? 0 : found->second->load();
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
    while (!State().phones.empty()) {
        Unplug(State(), State().phones.begin()->first);
    }
    State().interfaces.clear();
    State().devices.clear();
    State().failures.clear();
    State().calls.clear();
    State().bytesSent.clear();
}

}  // namespace orxhost
