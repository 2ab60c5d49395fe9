#include <cstdio>

#include "OrxHost.h"

namespace orxhost {

void ConsoleSink::OnDisplay(const DisplayEvent& event) {
    std::lock_guard guard(lock);
    char device[16] = "";
    if (event.perDevice) {
        std::snprintf(device, sizeof device, "[%u] ", static_cast<unsigned>(event.deviceId));
    }
    switch (event.kind) {
        case DisplayEvent::Kind::Status:
            std::printf("%sstatus: %s\n", device, event.text.c_str());
            break;
        case DisplayEvent::Kind::Error:
            std::printf("%serror: %s\n", device, event.text.c_str());
            break;
        case DisplayEvent::Kind::Progress:
            std::printf("%sprogress: %d\n", device, event.progress);
            break;
    }
    std::fflush(stdout);
}

void RecordingSink::OnDisplay(const DisplayEvent& event) {
    std::lock_guard guard(lock);
    events.push_back(event);
}

std::vector<DisplayEvent> RecordingSink::Events() const {
    std::lock_guard guard(lock);
    return events;
}

std::vector<DisplayEvent> RecordingSink::Events(DisplayEvent::Kind kind) const {
    std::lock_guard guard(lock);
    std::vector<DisplayEvent> chosen;
    for (const DisplayEvent& event : events) {
        if (event.kind == kind) {
            chosen.push_back(event);
        }
    }
    return chosen;
}

std::vector<std::string> RecordingSink::Texts(DisplayEvent::Kind kind) const {
    std::vector<std::string> texts;
    for (const DisplayEvent& event : Events(kind)) {
        texts.push_back(event.text);
    }
    return texts;
}

void RecordingSink::Clear() {
    std::lock_guard guard(lock);
    events.clear();
}

}  // namespace orxhost
