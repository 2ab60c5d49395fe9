#include "WorkerThread.h"

#include <chrono>
#include <system_error>

CWorkerThread::~CWorkerThread() {
    if (workerThread && workerThread->joinable()) {
        running.store(0);
        workerThread->join();
    }
}

int CWorkerThread::Start() {
    running.store(1);
    if (workerThread && workerThread->joinable()) {
        workerThread->join();
    }
    {
        std::lock_guard guard(endLock);
        ended = false;
    }
    try {
        workerThread = std::make_unique<std::thread>(&CWorkerThread::Entry, this);
    } catch (const std::system_error&) {
        workerThread.reset();
        return 0;
    }
    return 1;
}

void CWorkerThread::Entry() {
    Run();
    std::lock_guard guard(endLock);
    ended = true;
    endSignal.notify_all();
}

int CWorkerThread::Stop() {
    if (!workerThread) {
        running.store(0);
        return 1;
    }
    running.store(0);
    std::unique_lock guard(endLock);
    bool finished =
        endSignal.wait_for(guard, std::chrono::milliseconds(200), [&] { return ended; });
    guard.unlock();
    if (!finished) {
        return 0;
    }
    workerThread->join();
    workerThread.reset();
    return 1;
}

bool CWorkerThread::HasWorker() const {
    return workerThread != nullptr;
}

ORXThreadHandle CWorkerThread::ThreadHandle() const {
    return workerThread ? reinterpret_cast<ORXThreadHandle>(workerThread.get()) : nullptr;
}
