#include "StationView.h"

#include <unistd.h>

#include "StationBoard.h"
#include "StationJson.h"
#include "StationLines.h"

namespace {
constexpr const char* kVerdictPassed = "Verify Successful";
}

const char* OutcomeText(AttemptOutcome outcome) {
    switch (outcome) {
        case AttemptOutcome::Passed:
            return "passed";
        case AttemptOutcome::UpToDate:
            return "up to date";
        case AttemptOutcome::Failed:
            break;
    }
    return "failed";
}

void StationView::OnDisplay(const orxhost::DisplayEvent& event) {
    std::lock_guard guard(lock);
    int number = 0;
    if (event.perDevice) {
        Port& port = ports[event.deviceId];
        if (port.phase == PortPhase::Checking) {
            port.verdict |= event.kind == orxhost::DisplayEvent::Kind::Status &&
                            event.text.find(kVerdictPassed) != std::string::npos;
            return;
        }
        number = port.number;
    }
    ShowEvent(event, number);
}

void StationView::Started(const AttemptInfo& attempt) {
    std::lock_guard guard(lock);
    ports[attempt.port] = Port{attempt.number, PortPhase::Flashing, false};
    ShowStarted(attempt);
}

void StationView::Phase(uint16_t port, PortPhase phase) {
    std::lock_guard guard(lock);
    ports[port].phase = phase;
    ports[port].verdict = false;
    ShowPhase(port, phase);
}

bool StationView::TakeVerdict(uint16_t port) {
    std::lock_guard guard(lock);
    return std::exchange(ports[port].verdict, false);
}

void StationView::Ended(uint16_t port, const AttemptEnd& end, const StationCounts& counts) {
    std::lock_guard guard(lock);
    ports[port].phase = PortPhase::Ended;
    ShowEnded(port, ports[port].number, end);
    ShowCounts(counts);
}

void StationView::Unplugged(uint16_t port) {
    std::lock_guard guard(lock);
    auto found = ports.find(port);
    if (found != ports.end()) {
        ShowUnplugged(port, found->second.number, found->second.phase != PortPhase::Ended);
    }
}

void StationView::Counts(const StationCounts& counts) {
    std::lock_guard guard(lock);
    ShowCounts(counts);
}

void StationView::Notice(const std::string& text) {
    std::lock_guard guard(lock);
    ShowNotice(text);
}

void StationView::Closed(const StationCounts& counts, const std::string& why) {
    std::lock_guard guard(lock);
    ShowClosed(counts, why);
}

StationStyle ChooseStationStyle(bool json) {
    if (json) {
        return StationStyle::Json;
    }
    return isatty(STDOUT_FILENO) ? StationStyle::Board : StationStyle::Lines;
}

std::shared_ptr<StationView> MakeStationView(StationStyle style, const std::string& superfile,
                                             std::FILE* out) {
    switch (style) {
        case StationStyle::Board:
            return std::make_shared<StationBoard>(out, superfile);
        case StationStyle::Json:
            return std::make_shared<StationJson>(out);
        case StationStyle::Lines:
            break;
    }
    return std::make_shared<StationLines>(out, superfile);
}
