// The routes by which the superfile reader reports: a box, the host's error
// display, the per-device display or standard output, chosen by whether the
// object has a dialog and by its per-device route.
#include "ErrorLog.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashHost.h"
#include "platform/MessageBox.h"

namespace {
constexpr const char* kSource = "ORX_FP_FlashFileIO";
}

void CFlashFileIO::ReportOpenFailure(const std::string& text, int quiet, int line) {
    bool boxed = dialog != nullptr || perDeviceRoute != 0;
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
    } else if (perDeviceRoute != 0) {
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

// Conversion progress in percent; -1 resets the host's progress (on the
// console it ends the progress line).
void CFlashFileIO::ReportProgress(int percent) {
    std::string text = std::to_string(percent < 0 ? 0 : percent);
    if (dialog != nullptr) {
        HostDisplayProgress(text);
    } else if (perDeviceRoute != 0) {
        HostDisplayProgressEx(deviceIndex, text);
    } else if (percent < 0) {
        ConsolePrintLine("");
    } else {
        ConsolePrintProgress(percent);
    }
}

// An error on the error channel alone, with no box and no log entry.
void CFlashFileIO::ReportBuildError(const std::string& text) {
    if (dialog != nullptr) {
        HostDisplayError(text);
    } else if (perDeviceRoute != 0) {
        HostDisplayErrorEx(deviceIndex, text);
    } else {
        ConsolePrintLine(text);
    }
}

// A conversion that stops: the error, the progress back to zero, a log entry.
void CFlashFileIO::ReportBuildStop(const std::string& text, int line) {
    ReportBuildError(text);
    if (dialog != nullptr) {
        HostDisplayProgress("0");
    } else if (perDeviceRoute != 0) {
        HostDisplayProgressEx(deviceIndex, "0");
    } else {
        ConsolePrintProgress(0);
        ConsolePrintLine("");
    }
    LogFlashError(line, text, kSource);
}

// A box with the dialog, else the error channel; always logged.
void CFlashFileIO::ReportBoxedError(const std::string& text, int line) {
    if (dialog != nullptr) {
        platform::ShowStopBox(text);
    } else if (perDeviceRoute != 0) {
        HostDisplayErrorEx(deviceIndex, text);
    } else {
        ConsolePrintLine(text);
    }
    LogFlashError(line, text, kSource);
}
