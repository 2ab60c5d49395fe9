#include "StationWatcher.h"

#include <set>
#include <system_error>

#include "DeviceNumbers.h"
#include "HostSession.h"
#include "StopSignals.h"

namespace {

constexpr auto kPollPause = std::chrono::milliseconds(100);
constexpr int kPollsPerSuperfileCheck = 10;

constexpr const char* kSuperfileChanged =
    "the superfile changed on disk; this station keeps flashing the release it started with";

bool SamePhone(const std::weak_ptr<phonesim::Phone>& seen,
               const std::shared_ptr<phonesim::Phone>& now) {
    return !seen.owner_before(now) && !now.owner_before(seen);
}

}  // namespace

StationWatcher::StationWatcher(StationShared& shared, SimSchedule& schedule,
                               StationSuperfile& superfile, int target)
    : shared(shared), schedule(schedule), superfile(superfile) {
    counts.target = target;
}

StationWatcher::~StationWatcher() {
    for (auto& [id, port] : ports) {
        if (port->thread.joinable()) {
            port->thread.join();
        }
    }
}

double StationWatcher::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
}

StationCounts StationWatcher::Counts() const {
    std::lock_guard guard(countsLock);
    return counts;
}

void StationWatcher::Start(uint16_t id, Port& port) {
    port.waiting = false;
    port.running = true;
    port.done = false;
    AttemptInfo info{id, ++attempts, "", ""};
    {
        std::lock_guard guard(countsLock);
        ++counts.running;
    }
    auto attempt = [this, info, &port] {
        AttemptEnd end = RunAttempt(shared, info);
        Ended(info.port, end);
        port.done = true;
    };
    try {
        port.thread = std::thread(attempt);
    } catch (const std::system_error& error) {
        // No thread for this phone: it is not started, and says why.
        AttemptEnd end;
        end.result = ORX_RESULT_FAILED;
        end.reason = std::string("not flashed: no thread for its attempt: ") + error.what();
        Ended(id, end);
        port.done = true;
    }
}

void StationWatcher::Ended(uint16_t id, const AttemptEnd& end) {
    StationCounts now;
    {
        std::lock_guard guard(countsLock);
        --counts.running;
        int& count = end.outcome == AttemptOutcome::Passed     ? counts.passed
                     : end.outcome == AttemptOutcome::UpToDate ? counts.upToDate
                                                               : counts.failed;
        ++count;
        now = counts;
    }
    shared.view.Ended(id, end, now);
}

void StationWatcher::Arrived(uint16_t id, Port& port) {
    if (!orx::HasJobSlot(id)) {
        if (!port.notTakenSaid) {
            shared.view.Notice("phone " + std::to_string(id) +
                               " cannot be flashed: the module takes device numbers 0 to 159 "
                               "and the serial ports 1000 to 1031 only");
            port.notTakenSaid = true;
        }
        return;
    }
    if (port.running) {
        port.waiting = true;  // started once the attempt before it has ended
    } else if (!shared.draining.load()) {
        Start(id, port);
    }
}

void StationWatcher::Poll() {
    std::set<uint16_t> listed;
    for (uint16_t id : ListedDevices()) {
        listed.insert(id);
        std::unique_ptr<Port>& port = ports[id];
        if (!port) {
            port = std::make_unique<Port>();
        }
        std::shared_ptr<phonesim::Phone> phone = orxhost::FindPhone(id);
        if (port->present && SamePhone(port->phone, phone)) {
            continue;
        }
        if (port->present) {
            shared.view.Unplugged(id);  // another phone took its place between two polls
        }
        port->present = true;
        port->phone = phone;
        Arrived(id, *port);
    }
    for (auto& [id, port] : ports) {
        if (port->present && listed.count(id) == 0) {
            port->present = false;
            port->waiting = false;
            shared.view.Unplugged(id);
        }
    }
}

void StationWatcher::Reap() {
    for (auto& [id, port] : ports) {
        if (port->running && port->done.load()) {
            if (port->thread.joinable()) {
                port->thread.join();
            }
            port->running = false;
            schedule.AttemptEnded(id, Elapsed());
            if (port->waiting && !shared.draining.load()) {
                Start(id, *port);
            }
        }
    }
}

std::string StationWatcher::Run() {
    std::string why;
    shared.view.Counts(Counts());
    for (int polls = 0;; ++polls) {
        schedule.Tick(Elapsed());
        Reap();
        Poll();
        if (polls % kPollsPerSuperfileCheck == 0 && superfile.ChangedSinceTaken()) {
            shared.view.Notice(kSuperfileChanged);
        }
        // Without its record the station starts no new phone; the running
        // ones finish, their outcomes shown.
        if (why.empty() && polls % kPollsPerSuperfileCheck == 0) {
            if (std::string lost = shared.recorder.Lost(); !lost.empty()) {
                shared.view.Notice(lost +
                                   "; no new phone is started, and the outcomes of the "
                                   "running ones are shown but not recorded");
                why = kRecordLost;
            }
        }
        StationCounts now = Counts();
        if (why.empty() && now.target > 0 && now.passed >= now.target) {
            why = "count reached";
        }
        if (why.empty() && StopSignalCount() > 0) {
            why = "interrupted";
        }
        shared.draining = !why.empty();
        shared.stopping = StopSignalCount() > 1;
        if (shared.draining && now.running == 0) {
            return why;
        }
        std::this_thread::sleep_for(kPollPause);
    }
}
