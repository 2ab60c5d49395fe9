// The routes by which the superfile reader reports: a box with the dialog, and
// the route of the reader's context (the host's error display, the per-device
// display or the console). Every failure reported is also noted as the job's
// cause.
#include "ErrorLog.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashHost.h"
#include "platform/MessageBox.h"

namespace {
constexpr const char* kSource = "ORX_FP_FlashFileIO";
}

void CFlashFileIO::ReportOpenFailure(const std::string& text, int quiet, int line) {
    bool boxed = context.Route() != ReportRoute::Console;
    if (boxed && quiet == 0) {
        platform::ShowStopBox(text);
    } else {
        context.Sink().Line(text);
    }
    LogFlashError(line, text, kSource);
    context.NoteFailure(text);
}

void CFlashFileIO::ReportInvalid(const std::string& text, int quiet, int line) {
    if (dialog != nullptr && quiet == 0) {
        platform::ShowStopBox(text);
    }
    LogFlashError(line, text, kSource);
    context.NoteFailure(text);
}

void CFlashFileIO::ReportError(const std::string& text, int line) {
    if (dialog != nullptr) {
        platform::ShowStopBox(text);
    }
    context.Error(text);
    LogFlashError(line, text, kSource);
    context.NoteFailure(text);
}

void CFlashFileIO::ReportBootSlot() {
    const char* text =
        "ERROR: The file you have selected is an invalid superfile.\nPlease enter in a valid "
        "superfile.";
    platform::ShowStopBox(text);
    context.NoteFailure(text);
}

// Conversion progress in percent; -1 resets the host's progress (on the
// console it ends the progress line).
void CFlashFileIO::ReportProgress(int percent) {
    if (percent < 0) {
        context.ResetProgress();
    } else {
        context.Progress(percent);
    }
}

// An error on the error channel alone, with no box and no log entry.
void CFlashFileIO::ReportBuildError(const std::string& text) {
    context.Error(text);
    context.NoteFailure(text);
}

// A conversion that stops: the error, the progress back to zero, a log entry.
void CFlashFileIO::ReportBuildStop(const std::string& text, int line) {
    ReportBuildError(text);
    context.StopProgress();
    LogFlashError(line, text, kSource);
}

// A box with the dialog, else the error channel; always logged.
void CFlashFileIO::ReportBoxedError(const std::string& text, int line) {
    if (dialog != nullptr) {
        platform::ShowStopBox(text);
    } else {
        context.Error(text);
    }
    LogFlashError(line, text, kSource);
    context.NoteFailure(text);
}
