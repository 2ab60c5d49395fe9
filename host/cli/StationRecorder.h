// Where the station records each attempt: Begin when the attempt starts
// (before the phone is touched), Finish when it ends, up-to-date phones
// included. A phone whose attempt cannot be begun is not flashed, so no
// attempt goes unrecorded. Called from the attempts' threads.
#pragma once

#include <memory>
#include <string>

#include "StationView.h"

class FlashModule;

struct StationAttempt {
    uint16_t port = 0;
    std::string descriptor;
    std::string platform;
    std::string versionsBefore;
    std::string superfile;  // the superfile as given, absolute
    std::string copy;       // the private copy the station flashes from
};

class StationRecorder {
  public:
    virtual ~StationRecorder() = default;
    // False, with the reason, when the attempt could not be recorded.
    virtual bool Begin(const StationAttempt& attempt, int64_t& id, std::string& why) = 0;
    // False, with the reason, when the attempt's end could not be recorded.
    virtual bool Finish(int64_t id, const StationAttempt& attempt, const AttemptEnd& end,
                        std::string& why) = 0;
    // Returns once every end given so far is recorded (or said to have failed).
    virtual void Drain() {}
    // Why attempts can no longer be recorded where they are read (the file was
    // removed or replaced); empty while they can.
    virtual std::string Lost() { return {}; }
};

// --no-db: nothing is recorded.
class NoRecord final : public StationRecorder {
  public:
    bool Begin(const StationAttempt&, int64_t& id, std::string&) override {
        id = 0;
        return true;
    }
    bool Finish(int64_t, const StationAttempt&, const AttemptEnd&, std::string&) override {
        return true;
    }
};
