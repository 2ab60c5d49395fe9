#include "AttemptWriter.h"

#include <system_error>

#include "UtcTime.h"

namespace orxresults {

AttemptWriter::AttemptWriter(std::unique_ptr<ResultsDb> db, FailureSink onFailure)
    : db(std::move(db)), onFailure(std::move(onFailure)) {
    try {
        thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Without a thread every end is written by the caller, as it comes.
    }
}

AttemptWriter::~AttemptWriter() {
    {
        std::lock_guard guard(lock);
        ending = true;
    }
    changed.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

void AttemptWriter::Write(int64_t id, const AttemptEnd& end) {
    DbStatus status = db->Finish(id, end);
    if (!status.ok() && onFailure) {
        onFailure(id, status.message);
    }
}

void AttemptWriter::Finish(int64_t id, AttemptEnd end) {
    if (end.endedAt.empty()) {
        end.endedAt = UtcNow();
    }
    if (!thread.joinable()) {
        Write(id, end);
        return;
    }
    {
        std::lock_guard guard(lock);
        queue.emplace_back(id, std::move(end));
    }
    changed.notify_all();
}

void AttemptWriter::Drain() {
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return queue.empty() && !writing; });
}

void AttemptWriter::Run() {
    std::unique_lock guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return !queue.empty() || ending; });
        if (queue.empty()) {
            return;  // ending, and every end written
        }
        auto [id, end] = std::move(queue.front());
        queue.pop_front();
        writing = true;
        guard.unlock();
        Write(id, end);
        guard.lock();
        writing = false;
        changed.notify_all();
    }
}

}  // namespace orxresults
