// Module-wide state of the plug-in: the mode flags, the host's instance handle,
// the dialog's engine, the automation job table and the last superfile named.
// Flags are atomics because they are written by one thread and read by others.
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

class CWorkerThread;

inline constexpr size_t kFlashJobSlots = orx::kJobSlots;

// The module's application object: lives as long as the module is loaded.
class CPluginModule {
  public:
    std::atomic<int> deviceMode{0};
};

extern CPluginModule pluginModule;

// 1 after FlashDevice was called, 0 after Flash.
int IsDeviceMode();
void SetDeviceMode(int value);

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
