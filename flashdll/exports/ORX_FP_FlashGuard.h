// No export lets an exception out: a host written in C, or the host thread
// that called, would be ended by one. Each export's body runs inside
// GuardExport, which turns an exception into a report and a failure code.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <utility>

#include "ORX_FP_FlashJobContext.h"
#include "ORX_FP_FlashOutcome.h"

// Where an export's own failure is shown when the module has no dialog: the
// per-device display of a FlashDevice call's phone, or the console.
struct ExportRoute {
    ReportRoute route = ReportRoute::Console;
    uint16_t deviceNumber = 0;
};

// Logs the failure of an export, shows it on the host's display with the
// dialog and on the export's route without, and keeps it as the calling
// thread's last failure. Never throws.
void ReportExportFailure(const char* exportName, const char* what, int failureCode,
                         ExportRoute route) noexcept;

// body's result, or failureCode when body threw. For the exports that only
// read what an earlier call left (GetFailureReason).
template <typename Body>
int GuardCall(const char* exportName, int failureCode, Body&& body,
              ExportRoute route = {}) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        ReportExportFailure(exportName, "out of memory", failureCode, route);
    } catch (const std::exception& error) {
        ReportExportFailure(exportName, error.what(), failureCode, route);
    } catch (...) {
        ReportExportFailure(exportName, "unknown exception", failureCode, route);
    }
    return failureCode;
}

// As GuardCall; a failed call also leaves its outcome as the calling thread's
// last failure, for GetFailureReason.
template <typename Body>
int GuardExport(const char* exportName, int failureCode, Body&& body,
                ExportRoute route = {}) noexcept {
    ThreadFailureScope scope;
    int result = GuardCall(exportName, failureCode, std::forward<Body>(body), route);
    scope.Ended(result);
    return result;
}
