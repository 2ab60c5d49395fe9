// The engine's reporting: every line tagged with the phone's device number and
// sent on the route of the job's context; every error also goes to the error
// log, and the job's first error becomes its outcome's cause.
#include <cstdio>

#include "ErrorLog.h"
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
    context.Status(Tagged(DeviceNumber(), text));
}

// The per-device error line goes without the tag: the host's per-device
// display names the phone already. The untagged text is the job's cause when
// it is its first failure.
void CFlashThread::ShowError(const std::string& text, Box box) {
    std::string tagged = Tagged(DeviceNumber(), text);
    if (context.Route() == ReportRoute::Dialog && box == Box::Show && dialog != nullptr) {
        platform::ShowStopBox(text);
    }
    context.Error(tagged, text);
    LogFlashError(__LINE__, tagged, kSource);
    context.NoteFailure(text);
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
    context.NoteFailure(full, errorCode);  // before ShowError, to keep the code
    ShowError(full, Box::Show);
}
