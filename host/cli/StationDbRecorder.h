// The station's attempts in the results database, as command "station": each
// row begun when its phone's attempt starts and finished as passed, failed or
// up to date. The superfile is named by the path the station was given; its
// stored checksum and versions are read from the station's copy, the release
// every phone is flashed with even when the original changes on disk.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "AttemptRecorder.h"
#include "PhoneIdentity.h"
#include "StationRecorder.h"

class StationDbRecorder final : public StationRecorder {
  public:
    // Null, with the reason said on standard error, when the database cannot
    // be opened for writing.
    static std::unique_ptr<StationDbRecorder> Open(const RecordOptions& options,
                                                   const std::string& copy);
    // The module the phones are read through; set before the first attempt.
    void Use(const FlashModule& flashModule) { module = &flashModule; }

    bool Begin(const StationAttempt& attempt, int64_t& id, std::string& why) override;
    bool Finish(int64_t id, const StationAttempt& attempt, const AttemptEnd& end,
                std::string& why) override;

  private:
    StationDbRecorder(std::unique_ptr<orxresults::ResultsDb> db, SuperfileFacts facts);

    std::unique_ptr<orxresults::ResultsDb> db;
    SuperfileFacts facts;
    std::string station;
    const FlashModule* module = nullptr;
    std::mutex lock;
    std::map<int64_t, uint64_t> bytesBefore;  // bytes sent to the port before each attempt
};
