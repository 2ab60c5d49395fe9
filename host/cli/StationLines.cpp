#include "StationLines.h"

#include "PhoneReport.h"

std::string CountsText(const StationCounts& counts) {
    std::string text = std::to_string(counts.passed) + " passed";
    if (counts.target > 0) {
        text += " (of " + std::to_string(counts.target) + ")";
    }
    return text + ", " + std::to_string(counts.failed) + " failed, " +
           std::to_string(counts.upToDate) + " up to date, " + std::to_string(counts.running) +
           " running";
}

std::string EndText(const AttemptEnd& end) {
    switch (end.outcome) {
        case AttemptOutcome::Passed:
            return "PASS";
        case AttemptOutcome::UpToDate:
            return "up to date";
        case AttemptOutcome::Failed:
            break;
    }
    return "FAIL: " + (end.reason.empty() ? std::string("no reason given") : end.reason) +
           " (result " + std::to_string(end.result) + ")";
}

StationLines::StationLines(std::FILE* out, std::string superfile)
    : out(out), superfile(std::move(superfile)) {}

void StationLines::Line(const std::string& text) {
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
}

void StationLines::ShowEvent(const orxhost::DisplayEvent& event, int) {
    if (event.kind == orxhost::DisplayEvent::Kind::Progress) {
        return;
    }
    for (const std::string& line : TaggedLines(event)) {
        Line(line);
    }
}

void StationLines::ShowStarted(const AttemptInfo& attempt) {
    std::string phone = attempt.descriptor.empty() ? "a phone" : attempt.descriptor;
    if (!attempt.platform.empty()) {
        phone += " (" + attempt.platform + ")";
    }
    Line(PhoneTag(attempt.port) + "plugged in: " + phone + ", attempt " +
         std::to_string(attempt.number));
}

void StationLines::ShowEnded(uint16_t port, int, const AttemptEnd& end) {
    Line(PhoneTag(port) + EndText(end));
}

void StationLines::ShowUnplugged(uint16_t port, int, bool running) {
    Line(PhoneTag(port) + (running ? "unplugged before its outcome" : "unplugged"));
}

void StationLines::ShowCounts(const StationCounts& counts) {
    Line("Station: " + CountsText(counts));
}

void StationLines::ShowNotice(const std::string& text) {
    Line("Station: " + text);
}

void StationLines::ShowClosed(const StationCounts& counts, const std::string& why) {
    Line("Station: ended (" + why + "): " + CountsText(counts));
}
