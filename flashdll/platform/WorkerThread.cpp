#include "WorkerThread.h"

#include <chrono>
#include <exception>
#include <new>
#include <system_error>

CWorkerThread::~CWorkerThread() {
    JoinWorker();
}

void CWorkerThread::JoinWorker() {
    std::lock_guard guard(threadLock);
    if (workerThread) {
        running.store(0);
        if (workerThread->joinable()) {
            workerThread->join();
        }
        workerThread.reset();
        handle.store(nullptr);
    }
}

int CWorkerThread::Start() {
    std::lock_guard guard(threadLock);
    // A worker that outlived Stop ends first: it must still see the cleared
    // flag, or it would run on and this join would never return.
    if (workerThread && workerThread->joinable()) {
        workerThread->join();
    }
    running.store(1);
    {
        std::lock_guard endGuard(endLock);
        ended = false;
    }
    std::lock_guard gate(startGate);
    try {
        // The worker waits at the gate, so the handle is set before Run.
        workerThread = std::make_unique<std::thread>(&CWorkerThread::Entry, this);
    } catch (const std::system_error&) {
        workerThread.reset();
        std::lock_guard endGuard(endLock);
        ended = true;
        return 0;
    }
    handle.store(reinterpret_cast<ORXThreadHandle>(workerThread.get()));
    return 1;
}

void CWorkerThread::Entry() {
    { std::lock_guard gate(startGate); }
    // An exception leaving a thread would end the host's process.
    try {
        Run();
    } catch (const std::bad_alloc&) {
        NoteRunFailed("out of memory");
    } catch (const std::exception& error) {
        NoteRunFailed(error.what());
    } catch (...) {
        NoteRunFailed("unknown exception");
    }
    std::lock_guard guard(endLock);
    ended = true;
    endSignal.notify_all();
}

void CWorkerThread::NoteRunFailed(const char* what) noexcept {
    try {
        RunFailed(what);
    } catch (...) {
        // Reporting failed too; the work still counts as failed.
    }
}

void CWorkerThread::WaitUntilEnded() {
    std::unique_lock guard(endLock);
    endSignal.wait(guard, [&] { return ended; });
}

bool CWorkerThread::Ended() {
    std::lock_guard guard(endLock);
    return ended;
}

int CWorkerThread::Stop() {
    running.store(0);
    {
        std::unique_lock guard(endLock);
        if (!endSignal.wait_for(guard, std::chrono::milliseconds(200), [&] { return ended; })) {
            return 0;
        }
    }
    JoinWorker();
    return 1;
}
