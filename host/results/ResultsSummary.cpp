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
    // Newest day first, then by superfile and command. Only the columns the
    // summary needs are read, a row at a time: a duration is all a row leaves.
    using Key = std::tuple<std::string, std::string, int>;
    std::map<Key, std::pair<SummaryRow, std::vector<int64_t>>, std::greater<>> groups;
    auto count = [&groups](const sql::Statement& row) {
        Command command = CommandByName(row.Text(2)).value_or(Command::Flash);
        Key key{row.Text(0), row.Text(1), static_cast<int>(command)};
        auto& [summary, durations] = groups[key];
        summary.day = std::get<0>(key);
        summary.superfile = std::get<1>(key);
        summary.command = command;
        switch (OutcomeByName(row.Text(3)).value_or(Outcome::Interrupted)) {
            case Outcome::Passed:
                ++summary.passed;
                break;
            case Outcome::Failed:
                ++summary.failed;
                break;
            case Outcome::UpToDate:
                ++summary.upToDate;
                break;
            case Outcome::Interrupted:
                ++summary.interrupted;
                break;
            case Outcome::Running:
                ++summary.running;
                break;
        }
        if (!row.IsNull(4)) {
            durations.push_back(row.Int(4));
        }
    };
    if (DbStatus status = EachRow("substr(started_at, 1, 10), superfile, command, result, "
                                  "CASE WHEN ended_at IS NOT NULL THEN duration_ms END",
                                  all, false, count, "reading the summary");
        !status.ok()) {
        return status;
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
