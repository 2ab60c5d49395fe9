// What the station shows: the host's display calls (it is the host's display
// sink) and the station's own events, one attempt per phone plugged into a
// port. While a port's phone is being checked against the superfile, the
// module's reports for it are kept back and only its verify verdict is noted.
// Called from the watcher and from every attempt's thread; each Show... runs
// under the view's lock, one at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "OrxHost.h"

enum class AttemptOutcome { Passed, Failed, UpToDate };
const char* OutcomeText(AttemptOutcome outcome);  // "passed", "failed", "up to date"

struct StationCounts {
    int passed = 0;
    int failed = 0;
    int upToDate = 0;
    int running = 0;
    int target = 0;  // --count; 0: none
};

struct AttemptInfo {
    uint16_t port = 0;
    int number = 0;  // the station's count of attempts, from 1
    std::string descriptor;
    std::string platform;
};

struct AttemptEnd {
    AttemptOutcome outcome = AttemptOutcome::Failed;
    int result = 0;  // the module's result
    std::string reason;
    double seconds = 0;
};

enum class PortPhase { Checking, Flashing, Ended };

class StationView : public orxhost::DisplaySink {
  public:
    void OnDisplay(const orxhost::DisplayEvent& event) final;

    void Started(const AttemptInfo& attempt);
    void Phase(uint16_t port, PortPhase phase);
    // True when the port's check reported "Verify Successful" (and forgets it).
    bool TakeVerdict(uint16_t port);
    void Ended(uint16_t port, const AttemptEnd& end, const StationCounts& counts);
    void Unplugged(uint16_t port);
    void Counts(const StationCounts& counts);
    // A station message (a changed superfile, a phone the module cannot take).
    void Notice(const std::string& text);
    // The last line: why the station ended.
    void Closed(const StationCounts& counts, const std::string& why);

  protected:
    virtual void ShowEvent(const orxhost::DisplayEvent& event, int number) = 0;
    virtual void ShowStarted(const AttemptInfo& attempt) = 0;
    virtual void ShowPhase(uint16_t, PortPhase) {}
    virtual void ShowEnded(uint16_t port, int number, const AttemptEnd& end) = 0;
    virtual void ShowUnplugged(uint16_t port, int number, bool running) = 0;
    virtual void ShowCounts(const StationCounts& counts) = 0;
    virtual void ShowNotice(const std::string& text) = 0;
    virtual void ShowClosed(const StationCounts& counts, const std::string& why) = 0;

  private:
    struct Port {
        int number = 0;
        PortPhase phase = PortPhase::Ended;
        bool verdict = false;
    };
    std::mutex lock;
    std::map<uint16_t, Port> ports;
};

enum class StationStyle { Board, Lines, Json };
StationStyle ChooseStationStyle(bool json);
std::shared_ptr<StationView> MakeStationView(StationStyle style, const std::string& superfile,
                                             std::FILE* out = stdout);
