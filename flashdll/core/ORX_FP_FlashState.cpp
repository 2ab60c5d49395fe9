#include "ORX_FP_FlashState.h"

#include "WorkerThread.h"

std::atomic<int> headlessMode{0};
std::atomic<void*> hostInstance{nullptr};
std::atomic<int> flashJobCount{0};

namespace {

std::atomic<ReportRoute> automationRoute{ReportRoute::Console};

struct EngineTable {
    std::mutex lock;
    std::unique_ptr<CWorkerThread> mainFlashThread;
    std::array<std::unique_ptr<CWorkerThread>, kFlashJobSlots> flashJobs;
    std::string lastSuperfile;
};

EngineTable& Engines() {
    static EngineTable table;
    return table;
}

bool HandleOf(const CWorkerThread* engine, ORXThreadHandle& handle) {
    if (engine == nullptr || !engine->HasWorker()) {
        return false;
    }
    handle = engine->ThreadHandle();
    return true;
}

}  // namespace

ReportRoute AutomationRoute() {
    return automationRoute.load();
}

void SetAutomationRoute(ReportRoute route) {
    automationRoute.store(route);
}

void SetMainFlashThread(std::unique_ptr<CWorkerThread> engine) {
    std::lock_guard guard(Engines().lock);
    Engines().mainFlashThread = std::move(engine);
}

std::unique_ptr<CWorkerThread> TakeMainFlashThread() {
    std::lock_guard guard(Engines().lock);
    return std::move(Engines().mainFlashThread);
}

bool MainWorkerHandle(ORXThreadHandle& handle) {
    std::lock_guard guard(Engines().lock);
    return HandleOf(Engines().mainFlashThread.get(), handle);
}

bool DialogOpen() {
    ORXThreadHandle ignored = nullptr;
    return headlessMode.load() == 0 && MainWorkerHandle(ignored);
}

bool ClaimJobSlot(size_t slot, std::unique_ptr<CWorkerThread> job) {
    std::lock_guard guard(Engines().lock);
    if (slot >= kFlashJobSlots || Engines().flashJobs[slot]) {
        return false;
    }
    Engines().flashJobs[slot] = std::move(job);
    return true;
}

std::unique_ptr<CWorkerThread> ReleaseJobSlot(size_t slot) {
    std::lock_guard guard(Engines().lock);
    if (slot >= kFlashJobSlots) {
        return nullptr;
    }
    return std::move(Engines().flashJobs[slot]);
}

bool JobWorkerHandle(size_t slot, ORXThreadHandle& handle) {
    std::lock_guard guard(Engines().lock);
    return slot < kFlashJobSlots && HandleOf(Engines().flashJobs[slot].get(), handle);
}

bool AnyJobSlotTaken() {
    std::lock_guard guard(Engines().lock);
    for (const auto& job : Engines().flashJobs) {
        if (job) {
            return true;
        }
    }
    return false;
}

void RequestStopOfEveryJob() {
    // Under the table's lock, so no job is destroyed while it is told.
    std::lock_guard guard(Engines().lock);
    for (const auto& job : Engines().flashJobs) {
        if (job) {
            job->RequestStop();
        }
    }
}

std::string LastSuperfile() {
    std::lock_guard guard(Engines().lock);
    return Engines().lastSuperfile;
}

void SetLastSuperfile(const std::string& path) {
    std::lock_guard guard(Engines().lock);
    Engines().lastSuperfile = path;
}
