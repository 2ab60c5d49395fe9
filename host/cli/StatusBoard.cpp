#include "StatusBoard.h"

#include <algorithm>

#include "BoardText.h"
#include "JsonReport.h"

StatusBoard::StatusBoard(std::FILE* out, const std::vector<uint16_t>& devices)
    : out(out), lines(out) {
    for (uint16_t deviceId : devices) {
        rows.emplace_back(true, deviceId);
    }
}

std::string StatusBoard::Format(const Row& row, size_t width) {
    std::string line = row.hasDevice ? PhoneTag(row.deviceId) : std::string("Host:        ");
    line += Bar(row.percent < 0 ? 0 : row.percent);
    char figure[16];
    if (row.busy) {
        std::snprintf(figure, sizeof figure, " busy ");
    } else if (row.percent < 0) {
        std::snprintf(figure, sizeof figure, "      ");
    } else {
        std::snprintf(figure, sizeof figure, " %3d%% ", std::clamp(row.percent, 0, 100));
    }
    line += figure;
    char state[16];
    std::snprintf(state, sizeof state, "%-10s ", row.state.c_str());
    line += state;
    line += OneLine(row.failed && !row.lastError.empty() ? row.lastError : row.text);
    if (line.size() > width) {
        line.resize(width);
    }
    return line;
}

size_t StatusBoard::RowOf(bool hasDevice, uint16_t deviceId) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].hasDevice == hasDevice && (!hasDevice || rows[i].deviceId == deviceId)) {
            return i;
        }
    }
    rows.emplace_back(hasDevice, deviceId);
    return rows.size() - 1;
}

// Rows not drawn yet before this one are drawn first, in order.
void StatusBoard::Draw(size_t index) {
    size_t width = lines.Width();
    for (; drawn < index; ++drawn) {
        lines.Show(drawn, Format(rows[drawn], width));
    }
    lines.Show(index, Format(rows[index], width));
    drawn = std::max(drawn, index + 1);
}

void StatusBoard::DrawAll() {
    for (size_t i = 0; i < rows.size(); ++i) {
        Draw(i);
    }
}

void StatusBoard::ShowBegin(PhoneStep next) {
    for (Row& row : rows) {
        row.state = next == PhoneStep::Flash ? "flashing" : "verifying";
        row.percent = -1;
        row.busy = false;
        row.failed = false;
        row.lastError.clear();
    }
    DrawAll();
}

void StatusBoard::Show(const orxhost::DisplayEvent& event) {
    size_t index = RowOf(event.perDevice, event.deviceId);
    Row& row = rows[index];
    switch (event.kind) {
        case orxhost::DisplayEvent::Kind::Status:
            row.text = Untagged(event.deviceId, event.text);
            break;
        case orxhost::DisplayEvent::Kind::Error:
            row.text = Untagged(event.deviceId, event.text);
            row.lastError = row.text;
            break;
        case orxhost::DisplayEvent::Kind::Progress:
            if (event.progress == kBusyStart) {
                row.busy = true;
            } else if (event.progress == kBusyEnd) {
                row.busy = false;
            } else {
                row.percent = event.progress;
            }
            break;
    }
    Draw(index);
}

void StatusBoard::ShowResult(uint16_t deviceId, PhoneStep done, int result) {
    size_t index = RowOf(true, deviceId);
    Row& row = rows[index];
    row.busy = false;
    row.failed = result != 0;
    if (result == 0) {
        row.state = done == PhoneStep::Flash ? "flashed" : "verified";
        row.percent = 100;
    } else {
        row.state = "FAILED";
    }
    Draw(index);
}

void StatusBoard::Finish() {
    std::vector<uint16_t> failed;
    {
        std::lock_guard guard(lock);
        for (const Row& row : rows) {
            if (row.failed && row.hasDevice) {
                failed.push_back(row.deviceId);
            }
        }
    }
    for (uint16_t deviceId : failed) {
        std::vector<std::string> errors = Errors(deviceId);
        std::lock_guard guard(lock);
        for (const std::string& error : errors) {
            std::fprintf(out, "%serror: %s\n", PhoneTag(deviceId).c_str(),
                         OneLine(Untagged(deviceId, error)).c_str());
        }
    }
    std::fflush(out);
}
