#include "StationJson.h"

#include <cmath>

#include "JsonReport.h"

namespace {

nlohmann::ordered_json Event(const char* name, uint16_t port, int number) {
    return {{"event", name}, {"port", port}, {"attempt", number}};
}

void AddCounts(nlohmann::ordered_json& line, const StationCounts& counts) {
    line["passed"] = counts.passed;
    line["failed"] = counts.failed;
    line["upToDate"] = counts.upToDate;
}

}  // namespace

void StationJson::Write(const nlohmann::ordered_json& line) {
    std::fprintf(out, "%s\n",
                 line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    std::fflush(out);
}

void StationJson::ShowEvent(const orxhost::DisplayEvent& event, int number) {
    nlohmann::ordered_json line;
    switch (event.kind) {
        case orxhost::DisplayEvent::Kind::Status:
        case orxhost::DisplayEvent::Kind::Error:
            line["event"] = event.kind == orxhost::DisplayEvent::Kind::Error ? "error" : "status";
            break;
        case orxhost::DisplayEvent::Kind::Progress:
            bool busy = event.progress == kBusyStart || event.progress == kBusyEnd;
            line["event"] = busy ? "busy" : "progress";
            break;
    }
    line["port"] = event.perDevice ? nlohmann::ordered_json(event.deviceId) : nullptr;
    line["attempt"] = event.perDevice ? nlohmann::ordered_json(number) : nullptr;
    if (event.kind != orxhost::DisplayEvent::Kind::Progress) {
        line["text"] = event.text;
    } else if (line["event"] == "busy") {
        line["busy"] = event.progress == kBusyStart;
    } else {
        line["percent"] = event.progress;
    }
    Write(line);
}

void StationJson::ShowStarted(const AttemptInfo& attempt) {
    numbers[attempt.port] = attempt.number;
    nlohmann::ordered_json line = Event("attempt", attempt.port, attempt.number);
    line["descriptor"] = attempt.descriptor;
    line["platform"] = attempt.platform;
    Write(line);
}

void StationJson::ShowPhase(uint16_t port, PortPhase phase) {
    if (phase != PortPhase::Ended) {
        Write(Event(phase == PortPhase::Checking ? "checking" : "flashing", port, numbers[port]));
    }
}

void StationJson::ShowEnded(uint16_t port, int number, const AttemptEnd& end) {
    nlohmann::ordered_json line = Event("result", port, number);
    line["outcome"] = OutcomeText(end.outcome);
    line["result"] = end.result;
    line["reason"] = end.reason;
    line["seconds"] = std::round(end.seconds * 1000) / 1000;
    Write(line);
}

void StationJson::ShowUnplugged(uint16_t port, int number, bool running) {
    nlohmann::ordered_json line = Event("unplugged", port, number);
    line["running"] = running;
    Write(line);
}

void StationJson::ShowCounts(const StationCounts& counts) {
    nlohmann::ordered_json line{{"event", "counts"}};
    AddCounts(line, counts);
    line["running"] = counts.running;
    line["target"] = counts.target > 0 ? nlohmann::ordered_json(counts.target) : nullptr;
    Write(line);
}

void StationJson::ShowNotice(const std::string& text) {
    Write({{"event", "notice"}, {"text", text}});
}

void StationJson::ShowClosed(const StationCounts& counts, const std::string& why) {
    nlohmann::ordered_json line{{"event", "ended"}, {"why", why}};
    AddCounts(line, counts);
    Write(line);
}
