// The automation exports that flash without a dialog: FlashDevice for one
// phone, Flash for every phone the host lists, and VerifyDevice. Each phone's
// job is a headless engine in its slot of the job table, run on its own worker
// with a context of its own; each job's outcome is kept for its phone, and an
// export's failure for the calling thread.
#include <array>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
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

constexpr const char* kBadArguments = "invalid arguments";
constexpr const char* kNotStarted = "the phone's job could not be started";

// The export's result, kept as the calling thread's last failure when it is one.
int Result(int code, const std::string& reason) {
    if (code != ORX_RESULT_OK) {
        RecordThreadFailure(JobOutcome{code, 0, reason});
    }
    return code;
}

// route is the export's own route, given to the job's context at its start, so
// that an export started later never redirects this job's reports.
std::unique_ptr<CFlashThread> NewJob(const std::string& path, uint16_t deviceId, bool verify,
                                     ReportRoute route) {
    CFlashThread::Config config;
    config.hostInstanceHandle = hostInstance.load();
    config.superfilePath = path;
    config.context = JobContext(headlessMode.load() == 0 ? ReportRoute::Dialog : route, deviceId);
    config.context.Begin();
    config.kind = verify ? CFlashThread::JobKind::Verify : CFlashThread::JobKind::Flash;
    return std::unique_ptr<CFlashThread>(new (std::nothrow) CFlashThread(std::move(config)));
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
    constexpr const char* kText = "Handle to instance of ORX DLL is a NULL Pointer";
    LogFlashError(__LINE__, kText, kSource);
    SetLastSuperfile(path);
    return Result(ORX_RESULT_FAILED, kText);
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
            return Result(ORX_RESULT_BUSY, "the module's dialog is open");
        }
        SetLastSuperfile(path);
        return Result(ORX_RESULT_FAILED, "the module is not open without its dialog");
    }
    return ORX_RESULT_OK;
}

// The outcome of a job whose worker has ended, kept for its phone. A failure
// that reported no cause is named by the job's closing line.
JobOutcome KeepOutcome(const CFlashThread& job, bool verify) {
    JobOutcome outcome = job.Context().Outcome();
    if (outcome.code != ORX_RESULT_OK && outcome.reason.empty()) {
        outcome.reason = verify ? "Verify FAILED!!!" : "*********Flash FAILED!!!*********";
    }
    RecordDeviceOutcome(job.DeviceNumber(), outcome);
    return outcome;
}

// One phone's job on its worker, waited for; its outcome, or none when it
// could not be started.
std::optional<JobOutcome> RunOneJob(const std::string& path, uint16_t deviceId, bool verify,
                                    ReportRoute route) {
    size_t slot = DeviceSlot(deviceId);
    CFlashThread* job = StartJob(slot, NewJob(path, deviceId, verify, route));
    if (job == nullptr) {
        return std::nullopt;
    }
    job->WaitUntilEnded();
    JobOutcome outcome = KeepOutcome(*job, verify);
    EndJob(slot);
    return outcome;
}

// The export's result for a job's outcome: 15 when it could not start, 0 or 52.
int JobResult(const std::optional<JobOutcome>& outcome) {
    if (!outcome) {
        return Result(ORX_RESULT_FAILED, kNotStarted);
    }
    if (outcome->code != ORX_RESULT_OK) {
        RecordThreadFailure(*outcome);
    }
    return outcome->code;
}

}  // namespace

static int FlashDeviceBody(int argCount, const OrxFlashDeviceArgs* args) {
    SetAutomationRoute(ReportRoute::PerDevice);
    if (argCount != 2 || args == nullptr || args->superfilePath == nullptr ||
        DeviceSlot(args->deviceId) >= kFlashJobSlots) {
        return Result(ORX_RESULT_BAD_ARGUMENTS, kBadArguments);
    }
    const std::string path = args->superfilePath;
    if (int refused = NotOpenWithoutDialog(path); refused != 0) {
        return refused;
    }
    std::optional<JobOutcome> outcome =
        RunOneJob(path, args->deviceId, false, ReportRoute::PerDevice);
    SetLastSuperfile(path);
    return JobResult(outcome);
}

// VerifyDevice reports on the route the last Flash or FlashDevice chose.
static int VerifyDeviceBody(const char* superfilePath, int deviceId) {
    if (superfilePath == nullptr || DeviceSlot(static_cast<uint32_t>(deviceId)) >= kFlashJobSlots) {
        return Result(ORX_RESULT_BAD_ARGUMENTS, kBadArguments);
    }
    if (hostInstance.load() == nullptr || headlessMode.load() == 0) {
        return DialogOpen()
                   ? Result(ORX_RESULT_BUSY, "the module's dialog is open")
                   : Result(ORX_RESULT_FAILED, "the module is not open without its dialog");
    }
    return JobResult(RunOneJob(superfilePath, static_cast<uint16_t>(deviceId & 0xFFFF), true,
                               AutomationRoute()));
}

static int FlashBody(int argCount, const char* const* argList) {
    SetAutomationRoute(ReportRoute::Console);
    if (argCount != 1 || argList == nullptr || argList[0] == nullptr) {
        return Result(ORX_RESULT_BAD_ARGUMENTS, kBadArguments);
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
        return Result(ORX_RESULT_FAILED, "the host gave no device list");
    }
    flashJobCount.store(count);
    int result = ORX_RESULT_OK;
    std::vector<std::pair<size_t, CFlashThread*>> started;
    for (int j = 0; j < count; ++j) {
        size_t slot = static_cast<size_t>(j);
        CFlashThread* job = StartJob(slot, NewJob(path, ids[slot], false, ReportRoute::Console));
        if (job == nullptr) {
            result = ORX_RESULT_FAILED;
            continue;
        }
        started.emplace_back(slot, job);
    }
    // Only jobs whose worker started are waited for.
    for (auto& [slot, job] : started) {
        job->WaitUntilEnded();
        KeepOutcome(*job, false);
    }
    for (auto& [slot, job] : started) {
        EndJob(slot);
    }
    SetLastSuperfile(path);
    return Result(result, kNotStarted);
}

extern "C" int StopJobs(void) {
    return GuardExport("StopJobs", ORX_RESULT_FAILED, [] {
        RequestStopOfEveryJob();
        return ORX_RESULT_OK;
    });
}

extern "C" int FlashDevice(int argCount, const OrxFlashDeviceArgs* args) {
    ExportRoute route;
    if (args != nullptr) {
        route = ExportRoute{ReportRoute::PerDevice, args->deviceId};
    }
    return GuardExport(
        "FlashDevice", ORX_RESULT_JOB_FAILED, [&] { return FlashDeviceBody(argCount, args); },
        route);
}

extern "C" int VerifyDevice(const char* superfilePath, int deviceId) {
    return GuardExport(
        "VerifyDevice", ORX_RESULT_JOB_FAILED,
        [&] { return VerifyDeviceBody(superfilePath, deviceId); },
        ExportRoute{AutomationRoute(), static_cast<uint16_t>(deviceId & 0xFFFF)});
}

extern "C" int Flash(int argCount, const char* const* argList) {
    return GuardExport("Flash", ORX_RESULT_FAILED, [&] { return FlashBody(argCount, argList); });
}
