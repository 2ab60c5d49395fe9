#include "ORX_FP_FlashHost.h"

#include "DeviceNumbers.h"

#include <climits>
#include <vector>

#include "ErrorLog.h"
#include "ORX_FP_FlashJobContext.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_Flash";
constexpr const char* kStatusFailed = "Error in displaying ORX status message.";
constexpr const char* kErrorFailed = "Error in displaying ORX error message.";
constexpr const char* kProgressFailed = "Error in displaying ORX progress.";

bool Headless() {
    return headlessMode.load() != 0;
}

// Plain forms go through the dialog engine's worker, Ex forms through the worker
// of the job in the device's slot; without one nothing is shown.
bool PlainHandle(ORXThreadHandle& handle) {
    return MainWorkerHandle(handle);
}

bool DeviceHandle(uint16_t deviceId, ORXThreadHandle& handle) {
    return JobWorkerHandle(DeviceSlot(deviceId), handle);
}

// A failing error display: boxed and logged, never displayed again.
int DisplayErrorOnce(const std::string& text) {
    ORXThreadHandle handle = nullptr;
    if (!PlainHandle(handle)) {
        return 0;
    }
    int result = ORXDisplayError(handle, text.c_str());
    if (result != 0) {
        if (!Headless()) {
            platform::ShowStopBox(kErrorFailed);
        }
        LogFlashError(__LINE__, kErrorFailed, kSource);
    }
    return result;
}

int DisplayErrorExOnce(uint16_t deviceId, const std::string& text) {
    ORXThreadHandle handle = nullptr;
    if (!DeviceHandle(deviceId, handle)) {
        return 0;
    }
    int result = ORXDisplayErrorEx(deviceId, handle, text.c_str());
    if (result != 0) {
        platform::ShowStopBox(kErrorFailed);
        LogFlashError(__LINE__, kErrorFailed, kSource);
    }
    return result;
}

// A failing plain display other than the error display.
void ReportPlainFailure(const char* text, int line) {
    if (!Headless()) {
        platform::ShowStopBox(text);
        DisplayErrorOnce(text);
    }
    LogFlashError(line, text, kSource);
}

void ReportDeviceFailure(uint16_t deviceId, const char* text, int line) {
    platform::ShowStopBox(text);
    DisplayErrorExOnce(deviceId, text);
    LogFlashError(line, text, kSource);
}

}  // namespace

size_t DeviceSlot(uint32_t deviceId) {
    return orx::JobSlotOf(deviceId & 0xFFFF);
}

int ProgressValue(const std::string& text) {
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > INT_MAX) {
            return INT_MAX;
        }
    }
    return static_cast<int>(value);
}

int HostDisplayStatus(const std::string& text) {
    ORXThreadHandle handle = nullptr;
    if (!PlainHandle(handle)) {
        return 0;
    }
    int result = ORXDisplayStatus(handle, text.c_str());
    if (result != 0) {
        ReportPlainFailure(kStatusFailed, __LINE__);
    }
    return result;
}

int HostDisplayStatusEx(uint16_t deviceId, const std::string& text) {
    ORXThreadHandle handle = nullptr;
    if (!DeviceHandle(deviceId, handle)) {
        return 0;
    }
    int result = ORXDisplayStatusEx(deviceId, handle, text.c_str());
    if (result != 0) {
        ReportDeviceFailure(deviceId, kStatusFailed, __LINE__);
    }
    return result;
}

int HostDisplayError(const std::string& text) {
    return DisplayErrorOnce(text);
}

int HostDisplayErrorEx(uint16_t deviceId, const std::string& text) {
    return DisplayErrorExOnce(deviceId, text);
}

int HostDisplayProgress(const std::string& text) {
    ORXThreadHandle handle = nullptr;
    if (!PlainHandle(handle)) {
        return 0;
    }
    int result = ORXDisplayProgress(handle, ProgressValue(text));
    if (result != 0) {
        ReportPlainFailure(kProgressFailed, __LINE__);
    }
    return result;
}

int HostDisplayProgressEx(uint16_t deviceId, const std::string& text) {
    ORXThreadHandle handle = nullptr;
    if (!DeviceHandle(deviceId, handle)) {
        return 0;
    }
    int result = ORXDisplayProgressEx(deviceId, handle, ProgressValue(text));
    if (result != 0) {
        ReportDeviceFailure(deviceId, kProgressFailed, __LINE__);
    }
    return result;
}

int HostGetDeviceList(uint16_t* ids, size_t room, int& count) {
    ORXDeviceArray devices;
    int result = Headless() ? ORXGetDeviceList(&devices) : ORXGetSelectedDeviceList(&devices);
    if (result != 0) {
        return result;
    }
    size_t listed = devices.GetSize();
    if (listed == 0) {
        count = 0;
        LogFlashError(__LINE__,
                      "No Subscriber Unit connected.  Please check the connection or connect a "
                      "subscriber unit.",
                      kSource);
        return 0;
    }
    size_t copied = listed < room ? listed : room;
    if (ids == nullptr) {
        copied = 0;
    }
    if (copied < listed) {
        LogFlashError(__LINE__,
                      "The host lists " + std::to_string(listed) + " devices; only the first " +
                          std::to_string(copied) + " are used.",
                      kSource);
    }
    for (size_t i = 0; i < copied; ++i) {
        ids[i] = devices.GetAt(i);
    }
    count = static_cast<int>(copied);
    return 0;
}

int HostGetInterfaceHandle(uint16_t deviceId, const std::string& name, ORXInterfaceHandle& handle) {
    return ORXGetInterfaceHandle(deviceId, name.c_str(), &handle);
}

int HostGetStringDescriptor(uint16_t deviceId, ORXInterfaceHandle interfaceHandle, int index,
                            int zero, std::string& text) {
    std::vector<char> fresh(512, '\0');
    int result =
        ORXGetStringDescriptor(deviceId, interfaceHandle, index, zero, fresh.data(), fresh.size());
    fresh.back() = '\0';
    text = fresh.data();
    if (result != 0) {
        ReportPlainFailure("Error in retrieving ORX string descriptors.", __LINE__);
    }
    return result;
}

int HostSetBaudRate(uint32_t baudRate, uint16_t deviceId) {
    int result = ORXSetBaudRate(baudRate, deviceId);
    if (result != 0) {
        ReportPlainFailure("Error is setting the ORX baud rate", __LINE__);
    }
    return result;
}

int HostRefreshConnections() {
    int result = ORXRefreshConnections();
    if (result != 0) {
        ReportPlainFailure("Error in Refreshing Device List.", __LINE__);
    }
    return result;
}

void ConsolePrintLine(const std::string& text) {
    ConsoleSink()->Line(text);
}

void ConsolePrintProgress(int percent) {
    ConsoleSink()->Progress(percent);
}
