// Base of an object with one worker thread of its own: Start runs Run() on a
// new thread, Stop asks it to end.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "interfaces/ORX.h"

class CWorkerThread {
  public:
    CWorkerThread() = default;
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // 1 when the worker runs, 0 when it could not be created.
    virtual int Start();
    // 1 when the worker had ended (or none ran), 0 when it did not end within
    // 200 ms; such a worker is told to stop and is waited for when the object goes.
    virtual int Stop();
    // The worker's body; runs while Running() is 1.
    virtual void Run() {}

    bool HasWorker() const;
    // The handle under which the host addresses this worker's displays.
    ORXThreadHandle ThreadHandle() const;
    int Running() const { return running.load(); }

  protected:
    // A worker that finishes on its own clears the flag before returning.
    void ClearRunning() { running.store(0); }

  private:
    void Entry();

    std::atomic<int> running{0};
    std::unique_ptr<std::thread> workerThread;
    mutable std::mutex endLock;
    std::condition_variable endSignal;
    bool ended = false;
};
