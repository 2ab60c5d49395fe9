// The exported services the module imports. Each counts its call, answers an
// injected failure when one is pending, and otherwise does its job.
#include <cstring>

#include "OrxState.h"

namespace {

using orxhost::DisplayEvent;
using orxhost::detail::EnterCall;
using orxhost::detail::State;

// Code for a service this host cannot carry out (nothing attached behind it).
constexpr int kNotAvailable = 1;

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

int ORXGetDeviceList(ORXDeviceArray* devices) { return ListDevices(__func__, devices, false); }

int ORXGetSelectedDeviceList(ORXDeviceArray* devices) {
    return ListDevices(__func__, devices, true);
}

// Phones with interfaces, descriptors and links attach in a later stage; until
// then every device lacks every interface.
int ORXGetInterfaceHandle(uint16_t, const char*, ORXInterfaceHandle* handle) {
    if (int code = EnterCall(__func__)) {
        return code;
    }
    if (handle != nullptr) {
        *handle = nullptr;
    }
    return kOrxNoSuchInterface;
}

int ORXGetStringDescriptor(uint16_t, ORXInterfaceHandle, int, int, char* text, size_t textSize) {
    if (text != nullptr && textSize > 0) {
        text[0] = '\0';
    }
    if (int code = EnterCall(__func__)) {
        return code;
    }
    return kNotAvailable;
}

int ORXSetBaudRate(uint32_t, uint16_t) {
    if (int code = EnterCall(__func__)) {
        return code;
    }
    return kNotAvailable;
}

int ORXRefreshConnections(void) { return EnterCall(__func__); }

int ORXTestCmdInit(uint16_t, int) { return EnterCall(__func__); }

int ORXSendCommand(uint16_t, ORXInterfaceHandle, const char*, uint8_t* reply, int, uint8_t* data,
                   uint32_t*, uint16_t) {
    if (reply != nullptr) {
        std::memset(reply, 0, kOrxCommandBufferSize);
    }
    if (data != nullptr) {
        std::memset(data, 0, kOrxCommandBufferSize);
    }
    if (int code = EnterCall(__func__)) {
        return code;
    }
    return kNotAvailable;
}

}  // extern "C"
