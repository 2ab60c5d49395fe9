// The results database for many jobs at once. An attempt's start is written
// at once, on the caller's thread, since its phone is not to be touched before
// its row exists. Its end is written on a thread of the writer's own, in the
// order given, so a job whose phone is done never waits for the database
// (another process holding the file's lock, a slow disk). Drain waits for
// every end; a write that fails is handed to the failure sink, never dropped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "ResultsDb.h"

namespace orxresults {

class AttemptWriter {
  public:
    // Called on the writer's thread with the row's id and why its end was not written.
    using FailureSink = std::function<void(int64_t id, const std::string& message)>;

    AttemptWriter(std::unique_ptr<ResultsDb> db, FailureSink onFailure);
    // Writes every end still queued, then closes the database.
    ~AttemptWriter();
    AttemptWriter(const AttemptWriter&) = delete;
    AttemptWriter& operator=(const AttemptWriter&) = delete;

    DbStatus Begin(const AttemptStart& start, int64_t& id) { return db->Begin(start, id); }
    // Queues the end; its time is taken now when it has none.
    void Finish(int64_t id, AttemptEnd end);
    // Returns once every end queued before the call is written (or failed).
    void Drain();

    ResultsDb& Db() { return *db; }

  private:
    void Run();
    void Write(int64_t id, const AttemptEnd& end);

    std::unique_ptr<ResultsDb> db;
    FailureSink onFailure;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<int64_t, AttemptEnd>> queue;
    bool writing = false;
    bool ending = false;
    std::thread thread;  // none when no thread could be made: ends are written inline
};

}  // namespace orxresults
