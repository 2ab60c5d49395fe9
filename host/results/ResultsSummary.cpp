// The summary per superfile, day and command: counts, yield and the median
// duration, gathered from the rows in one pass.
#include <algorithm>
#include <map>
#include <tuple>

#include "ResultsDb.h"

namespace orxresults {

namespace {

std::optional<int64_t> Median(std::vector<int64_t> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) {
        return values[middle];
    }
    return (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

DbStatus ResultsDb::Summary(const AttemptFilter& filter, std::vector<SummaryRow>& out) {
    out.clear();
    AttemptFilter all = filter;
    all.limit = 0;
    std::vector<Attempt> attempts;
    if (DbStatus status = Attempts(all, attempts); !status.ok()) {
        return status;
    }
    // Newest day first, then by superfile and command.
    using Key = std::tuple<std::string, std::string, int>;
    std::map<Key, std::pair<SummaryRow, std::vector<int64_t>>, std::greater<>> groups;
    for (const Attempt& attempt : attempts) {
        Key key{attempt.start.startedAt.substr(0, 10), attempt.start.superfile,
                static_cast<int>(attempt.start.command)};
        auto& [row, durations] = groups[key];
        row.day = std::get<0>(key);
        row.superfile = attempt.start.superfile;
        row.command = attempt.start.command;
        switch (attempt.outcome) {
            case Outcome::Passed:
                ++row.passed;
                break;
            case Outcome::Failed:
                ++row.failed;
                break;
            case Outcome::UpToDate:
                ++row.upToDate;
                break;
            case Outcome::Interrupted:
                ++row.interrupted;
                break;
            case Outcome::Running:
                ++row.running;
                break;
        }
        if (attempt.endedAt && attempt.durationMs) {
            durations.push_back(*attempt.durationMs);
        }
    }
    for (auto& [key, group] : groups) {
        SummaryRow& row = group.first;
        if (row.passed + row.failed > 0) {
            row.yield = static_cast<double>(row.passed) / (row.passed + row.failed);
        }
        row.medianMs = Median(std::move(group.second));
        out.push_back(std::move(row));
    }
    return {};
}

}  // namespace orxresults
