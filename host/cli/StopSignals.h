// Ctrl-C (SIGINT) and SIGTERM while phones are flashed or verified. The first
// signal becomes a stop request for every job: the jobs end between two
// packets and each phone's outcome is still printed. A second signal ends the
// process at once, or, for a command that stops in stages (the station), the
// signal after the last stage.
#pragma once

#include <signal.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

class StopOnSignals {
  public:
    // stop is called on a watcher thread (never in the signal handler) when
    // the first signal arrives, and again now and then until this object
    // goes, so that a job starting just then is stopped too.
    explicit StopOnSignals(std::function<void()> stop);
    // stages signals are taken (StopSignalCount tells stop how many came);
    // the one after them ends the process at once. notice is said on
    // standard error at the first signal.
    StopOnSignals(std::function<void()> stop, int stages, std::string notice);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // The exit status a command ends with after the signal: 128 + its number.
    int ExitStatus() const;

  private:
    void Watch();

    std::function<void()> stop;
    std::string notice;
    int wake[2] = {-1, -1};
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
    bool installed = false;
    std::thread watcher;
};

// The signal that asked to stop, 0 before any.
int StopSignal();
// How many stop signals have come.
int StopSignalCount();
