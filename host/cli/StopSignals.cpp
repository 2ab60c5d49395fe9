#include "StopSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>

namespace {

std::atomic<int> signalled{0};
std::atomic<int> signalCount{0};
std::atomic<int> stagesTaken{1};
std::atomic<int> wakeFd{-1};

constexpr char kSignalled = 's';
constexpr char kQuit = 'q';
constexpr int kRepeatMs = 100;

// Only async-signal-safe work: an atomic flag and a byte into the pipe.
void OnSignal(int number) {
    int expected = 0;
    signalled.compare_exchange_strong(expected, number);
    if (signalCount.fetch_add(1) + 1 > stagesTaken.load()) {
        _exit(128 + signalled.load());
    }
    int fd = wakeFd.load();
    if (fd >= 0) {
        char byte = kSignalled;
        [[maybe_unused]] ssize_t ignored = write(fd, &byte, 1);
    }
}

}  // namespace

int StopSignal() {
    return signalled.load();
}

int StopSignalCount() {
    return signalCount.load();
}

StopOnSignals::StopOnSignals(std::function<void()> stopJobs)
    : StopOnSignals(std::move(stopJobs), 1,
                    "orxflash: stopping every phone after its current packet (press Ctrl-C "
                    "again to quit at once)") {}

StopOnSignals::StopOnSignals(std::function<void()> stopJobs, int stages, std::string notice)
    : stop(std::move(stopJobs)), notice(std::move(notice)) {
    stagesTaken.store(stages);
    if (pipe2(wake, O_CLOEXEC) != 0) {
        wake[0] = wake[1] = -1;
        return;  // without the pipe the default action stays: the signal ends orxflash
    }
    wakeFd.store(wake[1]);
    watcher = std::thread(&StopOnSignals::Watch, this);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    installed = true;
}

StopOnSignals::~StopOnSignals() {
    if (installed) {
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
    }
    if (wake[1] >= 0) {
        wakeFd.store(-1);
        char byte = kQuit;
        [[maybe_unused]] ssize_t ignored = write(wake[1], &byte, 1);
    }
    if (watcher.joinable()) {
        watcher.join();
    }
    for (int fd : wake) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

int StopOnSignals::ExitStatus() const {
    return 128 + signalled.load();
}

void StopOnSignals::Watch() {
    bool stopping = false;
    for (;;) {
        pollfd readable{wake[0], POLLIN, 0};
        int ready = poll(&readable, 1, stopping ? kRepeatMs : -1);
        if (ready > 0) {
            char byte = 0;
            if (read(wake[0], &byte, 1) != 1 || byte == kQuit) {
                return;
            }
            if (!stopping) {
                std::fprintf(stderr, "%s\n", notice.c_str());
                stopping = true;
            }
        } else if (ready < 0) {
            continue;  // interrupted by the signal itself
        }
        if (stopping) {
            stop();
        }
    }
}
