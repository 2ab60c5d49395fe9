#include "StationBoard.h"

#include <algorithm>

#include "BoardText.h"
#include "JsonReport.h"
#include "PhoneReport.h"
#include "StationLines.h"

namespace {

constexpr size_t kHeaderLine = 0;
constexpr size_t kNoticeLine = 1;
constexpr size_t kFirstRow = 2;
constexpr size_t kPhoneColumns = 32;
constexpr size_t kStateColumns = 13;

// The outcome as a block of colour: white on green, white on red, black on cyan.
const char* Colour(const std::string& state) {
    if (state == "PASS") {
        return "\x1b[1;37;42m";
    }
    if (state == "FAIL") {
        return "\x1b[1;37;41m";
    }
    return state == "up to date" ? "\x1b[1;30;46m" : nullptr;
}

}  // namespace

StationBoard::StationBoard(std::FILE* out, std::string superfile)
    : lines(out), superfile(std::move(superfile)) {
    lines.Show(kHeaderLine, "Station: " + this->superfile + ": waiting for phones");
    lines.Show(kNoticeLine, "");
}

StationBoard::Row& StationBoard::RowOf(uint16_t port) {
    for (Row& row : rows) {
        if (row.port == port) {
            return row;
        }
    }
    rows.push_back(Row{port, "", "", -1, "", false});
    return rows.back();
}

// The line is cut to the terminal's width before the state is coloured, so
// the colour codes never count as columns.
std::string StationBoard::Format(const Row& row) const {
    std::string phone = row.phone.substr(0, kPhoneColumns);
    phone.resize(kPhoneColumns, ' ');
    char figure[16];
    std::snprintf(figure, sizeof figure, row.percent < 0 ? "      " : " %3d%% ",
                  std::clamp(row.percent, 0, 100));
    std::string front = PhoneTag(row.port) + phone + " " + Bar(std::max(row.percent, 0)) + figure;
    std::string state = " " + row.state + " ";
    state.resize(std::max<size_t>(state.size(), kStateColumns), ' ');
    std::string line =
        front + state + OneLine(row.unplugged ? row.text + " (unplugged)" : row.text);
    line.resize(std::min(line.size(), lines.Width()));
    const char* colour = Colour(row.state);
    if (colour == nullptr || line.size() < front.size() + row.state.size() + 2) {
        return line;
    }
    return front + colour + " " + row.state + " \x1b[0m" +
           line.substr(front.size() + row.state.size() + 2);
}

void StationBoard::Draw(const Row& row) {
    size_t index = static_cast<size_t>(&row - rows.data());
    lines.Show(kFirstRow + index, Format(row));
}

void StationBoard::ShowEvent(const orxhost::DisplayEvent& event, int) {
    if (!event.perDevice) {
        return;  // the station's own lines say what the host said without a phone
    }
    Row& row = RowOf(event.deviceId);
    switch (event.kind) {
        case orxhost::DisplayEvent::Kind::Status:
        case orxhost::DisplayEvent::Kind::Error:
            row.text = Untagged(event.deviceId, event.text);
            break;
        case orxhost::DisplayEvent::Kind::Progress:
            if (event.progress != kBusyStart && event.progress != kBusyEnd) {
                row.percent = event.progress;
            }
            break;
    }
    Draw(row);
}

void StationBoard::ShowStarted(const AttemptInfo& attempt) {
    Row& row = RowOf(attempt.port);
    row = Row{attempt.port, attempt.descriptor, "plugged", -1, "", false};
    if (!attempt.platform.empty()) {
        row.phone += (row.phone.empty() ? "" : ", ") + attempt.platform;
    }
    Draw(row);
}

void StationBoard::ShowPhase(uint16_t port, PortPhase phase) {
    if (phase == PortPhase::Ended) {
        return;
    }
    Row& row = RowOf(port);
    row.state = phase == PortPhase::Checking ? "checking" : "flashing";
    Draw(row);
}

void StationBoard::ShowEnded(uint16_t port, int, const AttemptEnd& end) {
    Row& row = RowOf(port);
    switch (end.outcome) {
        case AttemptOutcome::Passed:
            row.state = "PASS";
            row.percent = 100;
            break;
        case AttemptOutcome::UpToDate:
            row.state = "up to date";
            row.text = "already holds this release";
            break;
        case AttemptOutcome::Failed:
            row.state = "FAIL";
            row.text = EndText(end).substr(6);  // the reason, without "FAIL: "
            break;
    }
    Draw(row);
}

void StationBoard::ShowUnplugged(uint16_t port, int, bool) {
    Row& row = RowOf(port);
    row.unplugged = true;
    Draw(row);
}

void StationBoard::ShowCounts(const StationCounts& counts) {
    lines.Show(kHeaderLine, "Station: " + superfile + ": " + CountsText(counts));
}

void StationBoard::ShowNotice(const std::string& text) {
    lines.Show(kNoticeLine, "Note: " + text);
}

void StationBoard::ShowClosed(const StationCounts& counts, const std::string& why) {
    lines.Show(kHeaderLine,
               "Station: " + superfile + ": ended (" + why + "): " + CountsText(counts));
}
