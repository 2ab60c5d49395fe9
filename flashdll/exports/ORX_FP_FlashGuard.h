// No export lets an exception out: a host written in C, or the host thread
// that called, would be ended by one. Each export's body runs inside
// GuardExport, which turns an exception into a report and a failure code.
#pragma once

#include <exception>
#include <new>
#include <utility>

#include "ORX_FP_FlashOutcome.h"

// Logs the failure of an export and shows it on the route its reports take:
// the per-device display of deviceId after FlashDevice, standard output
// without the dialog, the host's display with it. Never throws.
void ReportExportFailure(const char* exportName, const char* what, int deviceId) noexcept;

// body's result, or failureCode when body threw. For the exports that only
// read what an earlier call left (GetFailureReason).
template <typename Body>
int GuardCall(const char* exportName, int failureCode, Body&& body, int deviceId = -1) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        ReportExportFailure(exportName, "out of memory", deviceId);
    } catch (const std::exception& error) {
        ReportExportFailure(exportName, error.what(), deviceId);
    } catch (...) {
        ReportExportFailure(exportName, "unknown exception", deviceId);
    }
    return failureCode;
}

// As GuardCall; a failed call also leaves its outcome as the calling thread's
// last failure, for GetFailureReason.
template <typename Body>
int GuardExport(const char* exportName, int failureCode, Body&& body, int deviceId = -1) noexcept {
    ThreadFailureScope scope;
    int result = GuardCall(exportName, failureCode, std::forward<Body>(body), deviceId);
    scope.Ended(result);
    return result;
}
