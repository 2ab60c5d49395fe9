// The automation exports that flash without a dialog: FlashDevice for one
// phone, Flash for every phone the host lists, and VerifyDevice. Each phone's
// job is a headless engine in its slot of the job table, run on its own worker.
#include <array>
#include <chrono>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "ErrorLog.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashGuard.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashOutcome.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashThread.h"

std::atomic<int> deviceListRetryPauseMs{1000};

namespace {

constexpr const char* kSource = "ORX_FP_Flash";
constexpr int kDeviceListAttempts = 8;

// perDeviceRoute is the export's own route, passed in rather than read from
// the module's mode, which a later export may already have changed.
std::unique_ptr<CFlashThread> NewJob(const std::string& path, uint16_t deviceId, bool verify,
                                     int perDeviceRoute) {
    CFlashThread::Config config;
    config.hostInstanceHandle = hostInstance.load();
    config.superfilePath = path;
    config.deviceId = deviceId;
    config.kind = verify ? CFlashThread::JobKind::Verify : CFlashThread::JobKind::Flash;
    std::unique_ptr<CFlashThread> job(new (std::nothrow) CFlashThread(std::move(config)));
    if (job) {
        job->noDialog = headlessMode.load();
        job->perDeviceRoute = perDeviceRoute;
    }
    return job;
}

// Puts a job in its slot and starts its worker; null when the slot is taken
// or the worker cannot start (the slot is then free again).
CFlashThread* StartJob(size_t slot, std::unique_ptr<CFlashThread> job) {
    CFlashThread* raw = job.get();
    if (raw == nullptr || !ClaimJobSlot(slot, std::move(job))) {
        return nullptr;
    }
    if (raw->Start() != 1) {
        ReleaseJobSlot(slot);
        return nullptr;
    }
    return raw;
}

// Frees the slot of a job whose worker has ended and destroys the job.
void EndJob(size_t slot) {
    if (std::unique_ptr<CWorkerThread> job = ReleaseJobSlot(slot)) {
        job->Stop();
    }
}

int NotInitialised(const std::string& path) {
    LogFlashError(__LINE__, "Handle to instance of ORX DLL is a NULL Pointer", kSource);
    SetLastSuperfile(path);
    return ORX_RESULT_FAILED;
}

// 0 when the module was opened without its dialog, so automation jobs may
// run; 16 while the dialog is open (it owns the phones); 15 otherwise: not
// initialised, not opened, or its opening failed.
int NotOpenWithoutDialog(const std::string& path) {
    if (hostInstance.load() == nullptr) {
        return NotInitialised(path);
    }
    if (headlessMode.load() == 0) {
        if (DialogOpen()) {
            return ORX_RESULT_BUSY;
        }
        SetLastSuperfile(path);
        return ORX_RESULT_FAILED;
    }
    return ORX_RESULT_OK;
}

// One phone's job on its worker, waited for; the job's result (1 or 0), or -1
// when it could not be started.
int RunOneJob(const std::string& path, uint16_t deviceId, bool verify, int perDeviceRoute) {
    size_t slot = DeviceSlot(deviceId);
    CFlashThread* job = StartJob(slot, NewJob(path, deviceId, verify, perDeviceRoute));
    if (job == nullptr) {
        return -1;
    }
    job->WaitUntilEnded();
    int result = job->headlessResult;
    EndJob(slot);
    // The caller's export fails for the job's reason, met on the job's worker.
    if (JobOutcome outcome; result != 1 && DeviceOutcome(deviceId, outcome)) {
        RecordThreadFailure(outcome);
    }
    return result;
}

}  // namespace

static int FlashDeviceBody(int argCount, const OrxFlashDeviceArgs* args) {
    SetDeviceMode(1);
    if (argCount != 2 || args == nullptr || args->superfilePath == nullptr ||
        DeviceSlot(args->deviceId) >= kFlashJobSlots) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    const std::string path = args->superfilePath;
    if (int refused = NotOpenWithoutDialog(path); refused != 0) {
        return refused;
    }
    int result = RunOneJob(path, args->deviceId, false, 1);
    SetLastSuperfile(path);
    if (result < 0) {
        return ORX_RESULT_FAILED;
    }
    return result == 1 ? ORX_RESULT_OK : ORX_RESULT_JOB_FAILED;
}

static int VerifyDeviceBody(const char* superfilePath, int deviceId) {
    if (superfilePath == nullptr || DeviceSlot(static_cast<uint32_t>(deviceId)) >= kFlashJobSlots) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    if (hostInstance.load() == nullptr || headlessMode.load() == 0) {
        return DialogOpen() ? ORX_RESULT_BUSY : ORX_RESULT_FAILED;
    }
    int result =
        RunOneJob(superfilePath, static_cast<uint16_t>(deviceId & 0xFFFF), true, IsDeviceMode());
    if (result < 0) {
        return ORX_RESULT_FAILED;
    }
    return result == 1 ? ORX_RESULT_OK : ORX_RESULT_JOB_FAILED;
}

static int FlashBody(int argCount, const char* const* argList) {
    SetDeviceMode(0);
    if (argCount != 1 || argList == nullptr || argList[0] == nullptr) {
        return ORX_RESULT_BAD_ARGUMENTS;
    }
    const std::string path = argList[0];
    if (int refused = NotOpenWithoutDialog(path); refused != 0) {
        return refused;
    }
    std::array<uint16_t, kDeviceListRoom> ids{};
    int count = 0;
    int listed = -1;
    for (int attempt = 0; attempt < kDeviceListAttempts; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(deviceListRetryPauseMs.load()));
        }
        count = 0;
        listed = HostGetDeviceList(ids.data(), ids.size(), count);
        if (listed == 0) {
            break;
        }
    }
    if (listed != 0) {
        SetLastSuperfile(path);
        return ORX_RESULT_FAILED;
    }
    flashJobCount.store(count);
    int result = ORX_RESULT_OK;
    std::vector<std::pair<size_t, CFlashThread*>> started;
    for (int j = 0; j < count; ++j) {
        size_t slot = static_cast<size_t>(j);
        CFlashThread* job = StartJob(slot, NewJob(path, ids[slot], false, 0));
        if (job == nullptr) {
            result = ORX_RESULT_FAILED;
            continue;
        }
        started.emplace_back(slot, job);
    }
    // Only jobs whose worker started are waited for.
    for (auto& [slot, job] : started) {
        job->WaitUntilEnded();
    }
    for (auto& [slot, job] : started) {
        EndJob(slot);
    }
    SetLastSuperfile(path);
    return result;
}

extern "C" int StopJobs(void) {
    return GuardExport("StopJobs", ORX_RESULT_FAILED, [] {
        RequestStopOfEveryJob();
        return ORX_RESULT_OK;
    });
}

extern "C" int FlashDevice(int argCount, const OrxFlashDeviceArgs* args) {
    return GuardExport(
        "FlashDevice", ORX_RESULT_JOB_FAILED, [&] { return FlashDeviceBody(argCount, args); },
        args != nullptr ? args->deviceId : -1);
}

extern "C" int VerifyDevice(const char* superfilePath, int deviceId) {
    return GuardExport(
        "VerifyDevice", ORX_RESULT_JOB_FAILED,
        [&] { return VerifyDeviceBody(superfilePath, deviceId); }, deviceId & 0xFFFF);
}

extern "C" int Flash(int argCount, const char* const* argList) {
    return GuardExport("Flash", ORX_RESULT_FAILED, [&] { return FlashBody(argCount, argList); });
}
