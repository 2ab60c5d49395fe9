#include "LineReport.h"

#include <sstream>

void LineReport::Show(const orxhost::DisplayEvent& event) {
    if (event.kind == orxhost::DisplayEvent::Kind::Progress) {
        return;
    }
    std::string tag = event.perDevice ? PhoneTag(event.deviceId) : "Host: ";
    if (event.kind == orxhost::DisplayEvent::Kind::Error) {
        tag += "error: ";
    }
    // A text of several lines keeps its tag on every line.
    std::istringstream lines(event.perDevice ? Untagged(event.deviceId, event.text) : event.text);
    std::string line;
    bool any = false;
    while (std::getline(lines, line)) {
        std::fprintf(out, "%s%s\n", tag.c_str(), line.c_str());
        any = true;
    }
    if (!any) {
        std::fprintf(out, "%s\n", tag.c_str());
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
