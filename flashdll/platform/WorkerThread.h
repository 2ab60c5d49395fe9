// Base of an object with one worker thread of its own: Start runs Run() on a
// new thread, Stop asks it to end.
//
// A thread cannot be frozen safely here, so a worker that does not end within
// Stop's 200 ms is left told to stop: its loop sees the cleared flag and ends
// without starting new work. The owner must keep the object alive until then;
// derived classes call JoinWorker() first in their destructor, so nothing the
// worker may still touch is destroyed while it runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ORX.h"

class CWorkerThread {
  public:
    CWorkerThread() = default;
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // 1 when the worker runs, 0 when it could not be created.
    virtual int Start();
    // 1 when the worker had ended (or none ran), 0 when it was still running
    // 200 ms after being told to stop.
    virtual int Stop();
    // The worker's body; loops while Running() is 1.
    virtual void Run() {}

    bool HasWorker() const { return handle.load() != nullptr; }
    // The handle under which the host addresses this worker's displays.
    ORXThreadHandle ThreadHandle() const { return handle.load(); }
    int Running() const { return running.load(); }
    // Blocks until the worker's Run has returned (at once when none runs).
    void WaitUntilEnded();
    // True once the worker's Run has returned (or none was started).
    bool Ended();
    // Tells the worker to stop without waiting for it; its loop sees the
    // cleared flag between two steps.
    void RequestStop() { running.store(0); }

  protected:
    // A worker that finishes on its own clears the flag before returning.
    void ClearRunning() { running.store(0); }
    // Waits for the worker to end and releases its thread.
    void JoinWorker();
    // Called on the worker thread when Run ends by an exception, which never
    // leaves the thread: the work counts as failed. `what` says what failed.
    virtual void RunFailed(const char* /*what*/) {}

  private:
    void Entry();
    void NoteRunFailed(const char* what) noexcept;

    std::atomic<int> running{0};
    std::atomic<ORXThreadHandle> handle{nullptr};
    std::mutex threadLock;  // guards workerThread
    std::mutex startGate;   // held while a worker is created
    std::unique_ptr<std::thread> workerThread;
    std::mutex endLock;
    std::condition_variable endSignal;
    bool ended = true;
};
