// One-command phone operations: the device library's start-up, the phone
// information record, erase, power-down, reboot, and the test-command suspend.
#include <algorithm>
#include <cstring>

#include "DeviceNumbers.h"
#include "ErrorLog.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashThread";
constexpr const char* kNoDeviceApi = "Flash Device API pointer is a NULL Pointer";
constexpr int kAttempts = 3;
constexpr uint32_t kBaseRate = 9600;
constexpr uint32_t kRaisedRate = 115200;
constexpr uint32_t kProbeTimeoutMs = 500;

bool SerialDevice(uint16_t deviceId) {
    return orx::IsSerialDevice(deviceId);
}

}  // namespace

void CFlashThread::InitDeviceApi(Failures failures) {
    if (!deviceApi) {
        if (failures == Failures::Report) {
            ShowError(kNoDeviceApi, Box::Show);
        }
        return;
    }
    uint32_t error = 0;
    if (StartDeviceApi(error) != 0) {
        return;
    }
    if (failures == Failures::Report) {
        ReportDeviceError("Error initializing Flash Device API", error, 0);
    }
}

int CFlashThread::StartDeviceApi(uint32_t& error) {
    if (!SerialDevice(DeviceNumber())) {
        return deviceApi->InitFlashDevAPI(job.hostInstanceHandle, DeviceNumber(),
                                          records.interfaceHandle, error) != 0
                   ? 1
                   : 0;
    }
    // A serial phone left at the other line rate by an earlier attempt (its
    // rate raised but the answer lost, or restarted at the base rate while the
    // host kept the raised one) answers once both ends meet again. A phone at
    // the rate answers its connection at once, so the tries wait briefly.
    const uint32_t exchangeTimeout = deviceApi->ExchangeTimeout();
    deviceApi->SetExchangeTimeout(std::min(exchangeTimeout, kProbeTimeoutMs));
    int started = deviceApi->InitFlashDevAPI(job.hostInstanceHandle, DeviceNumber(),
                                             records.interfaceHandle, error) != 0;
    for (uint32_t rate : {kRaisedRate, kBaseRate}) {
        uint32_t retryError = 0;
        if (started == 0 && HostSetBaudRate(rate, DeviceNumber()) == 0) {
            started = deviceApi->InitFlashDevAPI(job.hostInstanceHandle, DeviceNumber(),
                                                 records.interfaceHandle, retryError) != 0;
        }
    }
    deviceApi->SetExchangeTimeout(exchangeTimeout);
    return started;
}

int CFlashThread::ReadSUInfo(Failures failures) {
    if (!deviceApi) {
        if (failures == Failures::Report) {
            ShowError(kNoDeviceApi, Box::Show);
        }
        return 0;
    }
    records.absentPattern.fill(0xFF);
    uint32_t error = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (deviceApi->GetSUinfo(&records.suInfo, error) != 0) {
            return 1;
        }
    }
    if (failures == Failures::Report) {
        ReportDeviceError("Error Getting Subscriber Unit Information.", error, 0);
    }
    return 0;
}

int CFlashThread::EraseFlash(EraseTypeEnum eraseType, SettingsArea settings) {
    ShowStatus(eraseType == ERASE_LANGUAGE_PACKAGE ? "Erasing Language Package only."
                                                   : "Erasing flash memory.");
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
        return 0;
    }
    ReportProgress("1000");
    uint32_t error = 0;
    if (settings == SettingsArea::AskPhone) {
        // Only a request the phone carried out gives permission: a refusal
        // that names an allowed answer still refuses.
        uint32_t value = 0;
        RESPONSE_TYPE response = RESPONSE_NONE;
        int answered = deviceApi->SendFDI_REQ_STAT_Command(error, value, response);
        if (answered != 1 || (response != RESPONSE_READY && response != RESPONSE_NO_UPGRADE)) {
            ReportProgress("1100");
            ShowStatus("Incompatible file!");
            ShowError("Error : Incompatible file", Box::None);
            LogFlashError(__LINE__, "Versions Incompatible", kSource);
            return 0;
        }
    }
    if (StopHere()) {
        ReportProgress("1100");
        return 0;
    }
    int erased = deviceApi->EraseSU(eraseType, error);
    ReportProgress("1100");
    if (erased == 0) {
        ReportDeviceError("Error Erasing Subscriber Unit.", error, 0);
        return 0;
    }
    ShowStatus("Erase Complete.");
    return 1;
}

int CFlashThread::PowerDown() {
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
        return 0;
    }
    uint32_t error = 0;
    if (deviceApi->PowerDownSU(error) == 0) {
        ReportDeviceError("Error Powering Down Subscriber Unit.", error, 0);
        return 0;
    }
    return 1;
}

int CFlashThread::Reboot() {
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
        return 0;
    }
    uint32_t error = 0;
    if (deviceApi->SendFDI_RESTART_Command(error) == 0) {
        ReportDeviceError("Error Rebooting Subscriber Unit.", error, 0);
        return 0;
    }
    return 1;
}

// Moves a phone in normal operation into flash mode through the host's
// test-command interface. The host is called directly: its failures show
// nothing here, the caller reports.
int CFlashThread::SuspendViaTestCommand() {
    ORXInterfaceHandle handle = nullptr;
    uint8_t reply[kOrxCommandBufferSize];
    uint8_t data[kOrxCommandBufferSize];
    reply[0] = 0;
    std::memset(data, 0, sizeof data);
    uint32_t value = 0;
    ORXTestCmdInit(DeviceNumber(), SerialDevice(DeviceNumber()) ? 1 : 0);
    ORXGetInterfaceHandle(DeviceNumber(), "Kestrova_Test_Command", &handle);
    return ORXSendCommand(DeviceNumber(), handle, "SUSPEND", reply, 1, data, &value,
                          DeviceNumber()) == 0
               ? 1
               : 0;
}
