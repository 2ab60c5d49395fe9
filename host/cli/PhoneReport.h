// Where the reports of phones being flashed or verified go: every display
// call the host receives (this is the host's display sink, called from any
// thread) and each phone's outcome. The report also remembers what each phone
// said, for summaries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "OrxHost.h"

enum class PhoneStep { Flash, Verify };

const char* StepName(PhoneStep step);

// "Phone[0004]: ", the tag the module's own lines carry.
std::string PhoneTag(uint16_t deviceId);
// The text without the phone's tag in front (the module tags its per-device
// status texts, not its per-device errors).
std::string Untagged(uint16_t deviceId, const std::string& text);
// A status or error as plain lines: "Phone[0004]: " (or "Host: "), "error: "
// for errors, then each line of its text, so every line keeps its tag.
std::string DisplayTag(const orxhost::DisplayEvent& event);
std::vector<std::string> TaggedLines(const orxhost::DisplayEvent& event);

class PhoneReport : public orxhost::DisplaySink {
  public:
    void OnDisplay(const orxhost::DisplayEvent& event) final;
    // A step starts for all phones.
    void Begin(PhoneStep step);
    // The phone's export returned; called from the phone's own thread.
    void OnResult(uint16_t deviceId, PhoneStep step, int result);
    // Every phone has ended.
    virtual void Finish() {}

    // Status and error texts a phone reported during a step, in order, untagged.
    std::vector<std::string> Texts(uint16_t deviceId, PhoneStep step) const;
    // Error texts a phone reported during any step.
    std::vector<std::string> Errors(uint16_t deviceId) const;
    // The first text of the list that the phone reported during the step.
    std::optional<std::string> FirstSeen(uint16_t deviceId, PhoneStep step,
                                         const std::vector<std::string>& texts) const;

  protected:
    // Each called under the report's lock, so one at a time.
    virtual void Show(const orxhost::DisplayEvent& event) = 0;
    virtual void ShowBegin(PhoneStep) {}
    virtual void ShowResult(uint16_t deviceId, PhoneStep step, int result) = 0;

    mutable std::mutex lock;

  private:
    struct Said {
        PhoneStep step = PhoneStep::Flash;
        bool error = false;
        std::string text;
    };
    PhoneStep current = PhoneStep::Flash;
    std::map<uint16_t, std::vector<Said>> said;
};

enum class ReportStyle {
    Board,  // a terminal: one line per phone, redrawn in place
    Lines,  // one plain line per status or error
    Json,   // one JSON object per line
};

// JSON when asked; otherwise a board on a terminal and plain lines elsewhere.
ReportStyle ChooseReportStyle(bool json);
std::shared_ptr<PhoneReport> MakePhoneReport(ReportStyle style,
                                             const std::vector<uint16_t>& devices,
                                             std::FILE* out = stdout);
