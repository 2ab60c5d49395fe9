// Control side of the host services stand-in (ORX.so): what a host program or a
// test uses to fill the device registry, receive what the module displays, and
// make any service fail on demand. The module itself never includes this file;
// it sees only interfaces/ORX.h.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ORX.h"

namespace phonesim {
class Phone;
}

namespace orxhost {

// Failure codes of the device services besides kOrxNoSuchInterface (71).
inline constexpr int kOrxNotAvailable = 1;     // no phone behind the device number
inline constexpr int kOrxBadHandle = 10;       // stale, foreign or wrong interface handle
inline constexpr int kOrxNotInitialised = 11;  // a test command before ORXTestCmdInit
inline constexpr int kOrxBadArgument = 12;     // null pointer, unknown rate, bad index
inline constexpr int kOrxNoLink = 13;          // the interface carries no device link

// One call of a display function as the host received it.
struct DisplayEvent {
    enum class Kind { Status, Error, Progress };
    Kind kind = Kind::Status;
    bool perDevice = false;  // an ...Ex call
    uint16_t deviceId = 0;   // only for per-device calls
    ORXThreadHandle thread = nullptr;
    std::string text;  // status and error calls
    int progress = 0;  // progress calls
};

// Receives every display call the host accepts. Called on the caller's thread;
// implementations must be thread-safe.
class DisplaySink {
  public:
    virtual ~DisplaySink() = default;
    virtual void OnDisplay(const DisplayEvent& event) = 0;
};

// Prints status and error lines to standard output, progress as a percentage
// line; per-device events carry their device number.
class ConsoleSink : public DisplaySink {
  public:
    void OnDisplay(const DisplayEvent& event) override;

  private:
    std::mutex lock;
};

// Keeps every event for tests to read.
class RecordingSink : public DisplaySink {
  public:
    void OnDisplay(const DisplayEvent& event) override;
    std::vector<DisplayEvent> Events() const;
    // Events of one kind, optionally only those of one device (per-device calls).
    std::vector<DisplayEvent> Events(DisplayEvent::Kind kind) const;
    std::vector<std::string> Texts(DisplayEvent::Kind kind) const;
    void Clear();

  private:
    mutable std::mutex lock;
    std::vector<DisplayEvent> events;
};

// Installs the sink that receives display calls; nullptr drops them. Returns
// the previous sink.
std::shared_ptr<DisplaySink> SetDisplaySink(std::shared_ptr<DisplaySink> sink);

// A device the host lists.
struct DeviceEntry {
    uint16_t deviceId = 0;
    bool selected = true;  // listed by ORXGetSelectedDeviceList
};

void AddDevice(const DeviceEntry& device);
// Removes the device, and the phone attached under its number if any.
void RemoveDevice(uint16_t deviceId);
void ClearDevices();
std::vector<DeviceEntry> Devices();

// Simulated phones, plugged in and out at run time. A phone is listed under
// its profile's device number (replacing whatever was there) and answers the
// device services: interfaces of its present mode (71 for others), its string
// descriptor, line rate, test commands and device links. A phone that powered
// down stays listed until ORXRefreshConnections; one powered up again is
// listed by the next refresh. Loading a profile throws phonesim::ProfileError.
std::shared_ptr<phonesim::Phone> AttachPhone(const std::string& profilePath, bool selected = true);
std::shared_ptr<phonesim::Phone> AttachPhone(std::shared_ptr<phonesim::Phone> phone,
                                             bool selected = true);
// Unplugs the phone: its links are cut and the device leaves the list.
void DetachPhone(uint16_t deviceId);
std::shared_ptr<phonesim::Phone> FindPhone(uint16_t deviceId);
// The rate the host's end of a serial line is set to (0: never set).
uint32_t HostLineRate(uint16_t deviceId);

// The next `times` calls of the named service (its exported name, for example
// "ORXDisplayStatusEx") answer `code` without doing anything. A later call for
// the same name replaces the earlier one.
void InjectFailure(const std::string& function, int code, int times = 1);
void ClearFailures();
// How many times the named service was called since the last Reset().
int CallCount(const std::string& function);

// Bytes the host sent to the device over its device links since the last
// Reset(), counted as each link write succeeds; kept after the phone is unplugged.
uint64_t LinkBytesSent(uint16_t deviceId);

// Back to a fresh host: no devices or phones, no failures, no counts, no sink.
void Reset();

}  // namespace orxhost
