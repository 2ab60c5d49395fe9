// Records each phone's attempt of orxflash flash or verify in the results
// database: the row is begun on the job's thread just before the module is
// called, and finished when the module returns. A phone whose row cannot be
// begun is not started, so no attempt goes unrecorded.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "FlashModule.h"
#include "PhoneIdentity.h"
#include "PhoneJobs.h"
#include "ResultsDb.h"

namespace CLI {
class App;
}

// --db FILE and --no-db.
struct RecordOptions {
    std::string dbPath = orxresults::kDefaultDbFile;
    bool noDb = false;
};
void AddRecordOptions(CLI::App& command, RecordOptions& options);

// The exit status of a command that cannot record its attempts.
inline constexpr int kExitNoRecord = 3;

// Opens the results database for recording and says on standard error how
// many attempts of earlier runs it marked interrupted. Null when it cannot be
// opened, with the reason and `notDone` ("nothing was done; ...") said.
std::unique_ptr<orxresults::ResultsDb> OpenRecordDb(const RecordOptions& options,
                                                    const char* notDone);

class AttemptRecorder final : public PhoneJobObserver {
  public:
    // Opens the database unless --no-db (recorder then stays empty). False,
    // with the reason said on standard error, when it cannot be opened.
    static bool Open(const RecordOptions& options, orxresults::Command command,
                     std::unique_ptr<AttemptRecorder>& recorder);

    // The module the phones are read through; set before the first job.
    void Use(const FlashModule& module) { this->module = &module; }

    bool Starting(const PhoneJob& job) override;
    void Ended(const PhoneJob& job, int result) override;

    // False once a row could not be begun or finished (each said on standard error).
    bool AllRecorded() const;

  private:
    AttemptRecorder(std::unique_ptr<orxresults::ResultsDb> db, orxresults::Command command);
    const SuperfileFacts& Facts(const std::string& superfile);
    void SayNotRecorded(uint16_t deviceId, const orxresults::DbStatus& status);

    struct Running {
        int64_t id = 0;
        std::string versionsBefore;
        uint64_t bytesBefore = 0;
        std::chrono::steady_clock::time_point started;
    };

    std::unique_ptr<orxresults::ResultsDb> db;
    orxresults::Command command;
    const FlashModule* module = nullptr;
    std::string station;
    mutable std::mutex lock;
    std::map<std::string, SuperfileFacts> facts;
    std::map<uint16_t, Running> running;
    bool allRecorded = true;
};
