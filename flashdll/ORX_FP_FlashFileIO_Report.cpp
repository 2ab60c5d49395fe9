// The routes by which the superfile reader reports: a box, the host's error
// display, the per-device display or standard output, chosen by whether the
// object has a dialog and by the module's device mode.
#include "ErrorLog.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

namespace {
constexpr const char* kSource = "ORX_FP_FlashFileIO";
}

void CFlashFileIO::ReportOpenFailure(const std::string& text, int quiet, int line) {
    bool boxed = dialog != nullptr || IsDeviceMode() != 0;
    if (boxed && quiet == 0) {
        platform::ShowStopBox(text);
    } else {
        ConsolePrintLine(text);
    }
    LogFlashError(line, text, kSource);
}

void CFlashFileIO::ReportInvalid(const std::string& text, int quiet, int line) {
    if (dialog != nullptr && quiet == 0) {
        platform::ShowStopBox(text);
    }
    LogFlashError(line, text, kSource);
}

void CFlashFileIO::ReportError(const std::string& text, int line) {
    if (dialog != nullptr) {
        platform::ShowStopBox(text);
        HostDisplayError(text);
    } else if (IsDeviceMode() != 0) {
        HostDisplayErrorEx(deviceIndex, text);
    } else {
        ConsolePrintLine(text);
    }
    LogFlashError(line, text, kSource);
}

void CFlashFileIO::ReportBootSlot() {
    platform::ShowStopBox(
        "ERROR: The file you have selected is an invalid superfile.\nPlease enter in a valid "
        "superfile.");
}
