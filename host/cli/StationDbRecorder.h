// The station's attempts in the results database, as command "station": each
// row begun when its phone's attempt starts, before the phone is touched, and
// finished as passed, failed or up to date by the database's own writer
// thread, so that no phone's outcome waits for the file. The superfile is named by the path the
// station was given; its stored checksum and versions are read from the station's copy, the release
// every phone is flashed with even when the original changes on disk.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "AttemptRecorder.h"
#include "AttemptWriter.h"
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
    // Where an end that could not be written is said; set before the first attempt.
    void SayFailuresTo(std::function<void(const std::string&)> say) { sayFailure = std::move(say); }

    void Drain() override { writer->Drain(); }
    std::string Lost() override;

    bool Begin(const StationAttempt& attempt, int64_t& id, std::string& why) override;
    bool Finish(int64_t id, const StationAttempt& attempt, const AttemptEnd& end,
                std::string& why) override;

  private:
    StationDbRecorder(std::unique_ptr<orxresults::ResultsDb> db, SuperfileFacts facts);

    SuperfileFacts facts;
    std::string station;
    const FlashModule* module = nullptr;
    std::mutex lock;
    std::map<int64_t, uint64_t> bytesBefore;  // bytes sent to the port before each attempt
    std::function<void(const std::string&)> sayFailure;
    std::unique_ptr<orxresults::AttemptWriter> writer;  // last: its ends are written first
};
