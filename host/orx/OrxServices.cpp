// The exported display and device-list services. Each counts its call,
// answers an injected failure when one is pending, and otherwise does its job.
// The device services are in OrxDevices.cpp.

#include "OrxState.h"

namespace {

using orxhost::DisplayEvent;
using orxhost::detail::EnterCall;
using orxhost::detail::State;

constexpr int kNotAvailable = orxhost::kOrxNotAvailable;

void Deliver(const DisplayEvent& event) {
    std::shared_ptr<orxhost::DisplaySink> sink;
    {
        std::lock_guard guard(State().lock);
        sink = State().sink;
    }
    if (sink) {
        sink->OnDisplay(event);
    }
}

int Display(const char* function, DisplayEvent event) {
    if (int code = EnterCall(function)) {
        return code;
    }
    Deliver(event);
    return 0;
}

DisplayEvent TextEvent(DisplayEvent::Kind kind, bool perDevice, uint16_t deviceId,
                       ORXThreadHandle thread, const char* text) {
    DisplayEvent event;
    event.kind = kind;
    event.perDevice = perDevice;
    event.deviceId = deviceId;
    event.thread = thread;
    event.text = text ? text : "";
    return event;
}

DisplayEvent ProgressEvent(bool perDevice, uint16_t deviceId, ORXThreadHandle thread,
                           int progress) {
    DisplayEvent event;
    event.kind = DisplayEvent::Kind::Progress;
    event.perDevice = perDevice;
    event.deviceId = deviceId;
    event.thread = thread;
    event.progress = progress;
    return event;
}

int ListDevices(const char* function, ORXDeviceArray* devices, bool selectedOnly) {
    if (int code = EnterCall(function)) {
        return code;
    }
    if (devices == nullptr) {
        return kNotAvailable;
    }
    std::lock_guard guard(State().lock);
    for (const orxhost::DeviceEntry& device : State().devices) {
        if (!selectedOnly || device.selected) {
            devices->Add(device.deviceId);
        }
    }
    return 0;
}

}  // namespace

extern "C" {

int ORXDisplayStatus(ORXThreadHandle thread, const char* text) {
    return Display(__func__, TextEvent(DisplayEvent::Kind::Status, false, 0, thread, text));
}

int ORXDisplayStatusEx(uint16_t deviceId, ORXThreadHandle thread, const char* text) {
    return Display(__func__, TextEvent(DisplayEvent::Kind::Status, true, deviceId, thread, text));
}

int ORXDisplayError(ORXThreadHandle thread, const char* text) {
    return Display(__func__, TextEvent(DisplayEvent::Kind::Error, false, 0, thread, text));
}

int ORXDisplayErrorEx(uint16_t deviceId, ORXThreadHandle thread, const char* text) {
    return Display(__func__, TextEvent(DisplayEvent::Kind::Error, true, deviceId, thread, text));
}

int ORXDisplayProgress(ORXThreadHandle thread, int progress) {
    return Display(__func__, ProgressEvent(false, 0, thread, progress));
}

int ORXDisplayProgressEx(uint16_t deviceId, ORXThreadHandle thread, int progress) {
    return Display(__func__, ProgressEvent(true, deviceId, thread, progress));
}

int ORXGetDeviceList(ORXDeviceArray* devices) {
    return ListDevices(__func__, devices, false);
}

int ORXGetSelectedDeviceList(ORXDeviceArray* devices) {
    return ListDevices(__func__, devices, true);
}

}  // extern "C"
