#include "PhoneReport.h"

#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "JsonReport.h"
#include "LineReport.h"
#include "StatusBoard.h"

const char* StepName(PhoneStep step) {
    return step == PhoneStep::Flash ? "flash" : "verify";
}

std::string PhoneTag(uint16_t deviceId) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "Phone[%.4u]: ", static_cast<unsigned>(deviceId));
    return tag;
}

std::string Untagged(uint16_t deviceId, const std::string& text) {
    std::string tag = PhoneTag(deviceId);
    return text.rfind(tag, 0) == 0 ? text.substr(tag.size()) : text;
}

std::string DisplayTag(const orxhost::DisplayEvent& event) {
    std::string tag = event.perDevice ? PhoneTag(event.deviceId) : "Host: ";
    if (event.kind == orxhost::DisplayEvent::Kind::Error) {
        tag += "error: ";
    }
    return tag;
}

std::vector<std::string> TaggedLines(const orxhost::DisplayEvent& event) {
    const std::string tag = DisplayTag(event);
    std::istringstream text(event.perDevice ? Untagged(event.deviceId, event.text) : event.text);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(text, line)) {
        lines.push_back(tag + line);
    }
    return lines;
}

void PhoneReport::OnDisplay(const orxhost::DisplayEvent& event) {
    std::lock_guard guard(lock);
    if (event.perDevice && event.kind != orxhost::DisplayEvent::Kind::Progress) {
        said[event.deviceId].push_back({current, event.kind == orxhost::DisplayEvent::Kind::Error,
                                        Untagged(event.deviceId, event.text)});
    }
    Show(event);
}

void PhoneReport::Begin(PhoneStep step) {
    std::lock_guard guard(lock);
    current = step;
    ShowBegin(step);
}

void PhoneReport::OnResult(uint16_t deviceId, PhoneStep step, int result) {
    std::lock_guard guard(lock);
    ShowResult(deviceId, step, result);
}

std::vector<std::string> PhoneReport::Texts(uint16_t deviceId, PhoneStep step) const {
    std::lock_guard guard(lock);
    std::vector<std::string> texts;
    if (auto found = said.find(deviceId); found != said.end()) {
        for (const Said& entry : found->second) {
            if (entry.step == step) {
                texts.push_back(entry.text);
            }
        }
    }
    return texts;
}

std::vector<std::string> PhoneReport::Errors(uint16_t deviceId) const {
    std::lock_guard guard(lock);
    std::vector<std::string> errors;
    if (auto found = said.find(deviceId); found != said.end()) {
        for (const Said& entry : found->second) {
            if (entry.error) {
                errors.push_back(entry.text);
            }
        }
    }
    return errors;
}

std::optional<std::string> PhoneReport::FirstSeen(uint16_t deviceId, PhoneStep step,
                                                  const std::vector<std::string>& texts) const {
    for (const std::string& text : Texts(deviceId, step)) {
        if (std::find(texts.begin(), texts.end(), text) != texts.end()) {
            return text;
        }
    }
    return std::nullopt;
}

ReportStyle ChooseReportStyle(bool json) {
    if (json) {
        return ReportStyle::Json;
    }
    return isatty(STDOUT_FILENO) ? ReportStyle::Board : ReportStyle::Lines;
}

std::shared_ptr<PhoneReport> MakePhoneReport(ReportStyle style,
                                             const std::vector<uint16_t>& devices, std::FILE* out) {
    switch (style) {
        case ReportStyle::Board:
            return std::make_shared<StatusBoard>(out, devices);
        case ReportStyle::Json:
            return std::make_shared<JsonReport>(out);
        case ReportStyle::Lines:
            break;
    }
    return std::make_shared<LineReport>(out);
}
