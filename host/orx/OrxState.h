// Internal state of the host services stand-in, shared by its sources.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OrxHost.h"
#include "Phone.h"

namespace orxhost::detail {

struct Failure {
    int code = 0;
    int remaining = 0;
};

// An interface handle names one interface of one device as it was enumerated;
// the handle's value is its index in the table plus one.
struct InterfaceRecord {
    uint16_t deviceId = 0;
    std::string name;
    uint64_t epoch = 0;
};

struct AttachedPhone {
    std::shared_ptr<phonesim::Phone> phone;
    bool testCommandsReady = false;  // ORXTestCmdInit was called
};

struct HostState {
    std::mutex lock;
    std::shared_ptr<DisplaySink> sink;
    std::vector<DeviceEntry> devices;
    std::map<std::string, Failure> failures;
    std::map<std::string, int> calls;
    std::map<uint16_t, AttachedPhone> phones;
    std::vector<InterfaceRecord> interfaces;
    std::map<uint16_t, uint32_t> lineRates;  // host side of serial lines
    // Bytes written over each device's links; links hold their counter, so a
    // write never takes the host's lock.
    std::map<uint16_t, std::shared_ptr<std::atomic<uint64_t>>> bytesSent;
};

HostState& State();

// The handle for (device, interface) in the phone's present epoch.
ORXInterfaceHandle HandleFor(HostState& state, uint16_t deviceId, const std::string& name,
                             uint64_t epoch);
// The record behind a handle, or null for a handle this host never gave out.
const InterfaceRecord* RecordOf(const HostState& state, ORXInterfaceHandle handle);
// The phone attached under a device number, or null.
std::shared_ptr<phonesim::Phone> PhoneOf(HostState& state, uint16_t deviceId);
// Puts the device in the list, or refreshes its entry.
void ListDevice(HostState& state, const DeviceEntry& device);

// The device's counter of bytes sent over its links, made on first use.
std::shared_ptr<std::atomic<uint64_t>> BytesSentCounter(HostState& state, uint16_t deviceId);

// Counts the call and answers the injected failure code, or 0.
int EnterCall(const char* function);

}  // namespace orxhost::detail
