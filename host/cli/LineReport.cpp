#include "LineReport.h"

void LineReport::Show(const orxhost::DisplayEvent& event) {
    if (event.kind == orxhost::DisplayEvent::Kind::Progress) {
        return;
    }
    std::vector<std::string> lines = TaggedLines(event);
    if (lines.empty()) {
        lines.push_back(DisplayTag(event));
    }
    for (const std::string& line : lines) {
        std::fprintf(out, "%s\n", line.c_str());
    }
    std::fflush(out);
}

void LineReport::ShowResult(uint16_t deviceId, PhoneStep step, int result) {
    if (result == 0) {
        std::fprintf(out, "%s%s succeeded\n", PhoneTag(deviceId).c_str(), StepName(step));
    } else {
        std::fprintf(out, "%s%s FAILED (result %d)\n", PhoneTag(deviceId).c_str(), StepName(step),
                     result);
    }
    std::fflush(out);
}
