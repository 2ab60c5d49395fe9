// Module-wide state of the plug-in: the opening mode, the route of callers that
// are no job, the host's instance handle, the dialog's engine, the automation
// job table and the last superfile named. Flags are atomics because they are
// written by one thread and read by others.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "DeviceNumbers.h"
#include "ORX.h"
#include "ORX_FP_FlashJobContext.h"

class CWorkerThread;

inline constexpr size_t kFlashJobSlots = orx::kJobSlots;

// The route of a caller that is no job of Flash or FlashDevice (VerifyDevice,
// the information exports, the error log outside a job): per-device after
// FlashDevice was called, the console after Flash and at first. Read once when
// such a caller's context is made; a running job never reads it.
ReportRoute AutomationRoute();
void SetAutomationRoute(ReportRoute route);

// 1 when the module was opened without its dialog.
extern std::atomic<int> headlessMode;
// The host services library's instance handle given to UTCInit.
extern std::atomic<void*> hostInstance;

// The engines whose worker threads the host's display functions are addressed
// with: the dialog's engine, and one automation job per slot. Access goes
// through these functions, which hold the table's lock only while they look.
void SetMainFlashThread(std::unique_ptr<CWorkerThread> engine);
std::unique_ptr<CWorkerThread> TakeMainFlashThread();
bool MainWorkerHandle(ORXThreadHandle& handle);
// True while the module is open with its dialog: its engine's worker runs.
bool DialogOpen();

// Puts a job into an empty slot; false when the slot is out of range or taken.
bool ClaimJobSlot(size_t slot, std::unique_ptr<CWorkerThread> job);
std::unique_ptr<CWorkerThread> ReleaseJobSlot(size_t slot);
bool JobWorkerHandle(size_t slot, ORXThreadHandle& handle);
// True while any automation job holds a slot.
bool AnyJobSlotTaken();
// Tells every automation job's worker to stop, without waiting for any.
void RequestStopOfEveryJob();

extern std::atomic<int> flashJobCount;

std::string LastSuperfile();
void SetLastSuperfile(const std::string& path);
