// The engine's reporting: every line tagged with the phone's device number and
// sent where the job's kind asks; every error also goes to the error log.
#include <cstdio>

#include "ErrorLog.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashThread";

std::string Tagged(uint16_t deviceId, const std::string& text) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "Phone[%.4d]: ", static_cast<int>(deviceId));
    return prefix + text;
}

}  // namespace

void CFlashThread::ShowStatus(const std::string& text) {
    std::string tagged = Tagged(deviceId, text);
    if (noDialog == 0) {
        HostDisplayStatus(tagged);
    } else if (perDeviceRoute != 0) {
        HostDisplayStatusEx(deviceId, tagged);
    } else {
        ConsolePrintLine(tagged);
    }
}

void CFlashThread::ShowError(const std::string& text, int showBox) {
    std::string tagged = Tagged(deviceId, text);
    if (noDialog == 0) {
        if (showBox == 1 && dialog != nullptr) {
            platform::ShowStopBox(text);
        }
        HostDisplayError(tagged);
    } else if (perDeviceRoute != 0) {
        HostDisplayErrorEx(deviceId, text);
    } else {
        ConsolePrintLine(tagged);
    }
    LogFlashError(__LINE__, tagged, kSource);
}

void CFlashThread::ReportDeviceError(const std::string& text, uint32_t errorCode,
                                     uint32_t address) {
    char code[32];
    std::snprintf(code, sizeof code, " Error 0x%X ", errorCode);
    std::string full = text + code;
    if (address != 0) {
        char where[64];
        std::snprintf(where, sizeof where, " \nwhile sending address 0x%X.", address);
        full += where;
    }
    ShowError(full, 1);
}
