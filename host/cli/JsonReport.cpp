#include "JsonReport.h"

void JsonReport::WriteLine(const nlohmann::ordered_json& line) {
    std::lock_guard guard(lock);
    Write(line);
}

void JsonReport::SetOutput(std::FILE* stream) {
    std::lock_guard guard(lock);
    out = stream;
}

void JsonReport::Write(const nlohmann::ordered_json& line) {
    std::fprintf(out, "%s\n",
                 line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    std::fflush(out);
}

void JsonReport::Show(const orxhost::DisplayEvent& event) {
    nlohmann::ordered_json line;
    line["device"] = event.perDevice ? nlohmann::ordered_json(event.deviceId) : nullptr;
    switch (event.kind) {
        case orxhost::DisplayEvent::Kind::Status:
            line["event"] = "status";
            line["text"] = event.text;
            break;
        case orxhost::DisplayEvent::Kind::Error:
            line["event"] = "error";
            line["text"] = event.text;
            break;
        case orxhost::DisplayEvent::Kind::Progress:
            if (event.progress == kBusyStart || event.progress == kBusyEnd) {
                line["event"] = "busy";
                line["busy"] = event.progress == kBusyStart;
            } else {
                line["event"] = "progress";
                line["percent"] = event.progress;
            }
            break;
    }
    Write(line);
}

void JsonReport::ShowResult(uint16_t deviceId, PhoneStep step, int result) {
    nlohmann::ordered_json line;
    line["device"] = deviceId;
    line["command"] = StepName(step);
    line["result"] = result;
    line["ok"] = result == 0;
    Write(line);
}
