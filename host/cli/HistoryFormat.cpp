#include "HistoryFormat.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "BoardText.h"

using orxresults::Attempt;
using orxresults::CommandName;
using orxresults::OutcomeName;
using orxresults::SummaryRow;

namespace {

using Fields = std::vector<std::string>;

const Fields kAttemptColumns = {"id",
                                "started_at",
                                "ended_at",
                                "station",
                                "port",
                                "descriptor",
                                "platform",
                                "versions_before",
                                "versions_after",
                                "superfile",
                                "superfile_checksum",
                                "command",
                                "result",
                                "result_code",
                                "reason",
                                "bytes_sent",
                                "duration_ms",
                                "tool_version"};
const Fields kSummaryColumns = {"day",        "superfile",   "command", "passed", "failed",
                                "up_to_date", "interrupted", "running", "yield",  "median_ms"};

template <typename T>
std::string OrEmpty(const std::optional<T>& value) {
    if (!value) {
        return {};
    }
    if constexpr (std::is_same_v<T, std::string>) {
        return *value;
    } else {
        return std::to_string(*value);
    }
}

std::string YieldFigure(const std::optional<double>& yield) {
    if (!yield) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", *yield);
    return text;
}

Fields AttemptFields(const Attempt& a) {
    return {std::to_string(a.id),
            a.start.startedAt,
            OrEmpty(a.endedAt),
            a.start.station,
            std::to_string(a.start.port),
            a.start.descriptor,
            a.start.platform,
            a.start.versionsBefore,
            a.versionsAfter,
            a.start.superfile,
            a.start.superfileChecksum,
            CommandName(a.start.command),
            OutcomeName(a.outcome),
            OrEmpty(a.resultCode),
            a.reason,
            std::to_string(a.bytesSent),
            OrEmpty(a.durationMs),
            a.start.toolVersion};
}

Fields SummaryFields(const SummaryRow& r) {
    return {r.day,
            r.superfile,
            CommandName(r.command),
            std::to_string(r.passed),
            std::to_string(r.failed),
            std::to_string(r.upToDate),
            std::to_string(r.interrupted),
            std::to_string(r.running),
            YieldFigure(r.yield),
            OrEmpty(r.medianMs)};
}

// True for a text a spreadsheet would take as a formula: one starting with
// = + - @ or a tab or line end, other than a plain number. Phones name
// themselves, so a descriptor could otherwise run as a formula in the sheet.
bool FormulaLike(const std::string& text) {
    if (text.empty() || std::string_view("=+-@\t\r").find(text[0]) == std::string_view::npos) {
        return false;
    }
    return text.size() == 1 || text[0] != '-' ||
           text.find_first_not_of("0123456789.", 1) != std::string::npos;
}

// Quoted when it holds a comma, a quote or a line end; quotes doubled. A
// formula-like text is kept as text by a leading apostrophe.
std::string CsvField(const std::string& field) {
    std::string text = FormulaLike(field) ? "'" + field : field;
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

void CsvLine(std::FILE* out, const Fields& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    }
    std::fprintf(out, "%s\r\n", line.c_str());
}

void JsonLine(std::FILE* out, const nlohmann::ordered_json& object) {
    std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}

template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

std::string Seconds(const std::optional<int64_t>& ms) {
    if (!ms) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(*ms) / 1000.0);
    return text;
}

std::string FileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// "2026-12-08T14:38:36.123Z" as "2026-12-08 14:38:36".
std::string Readable(const std::string& time) {
    std::string text = time.substr(0, 19);
    if (text.size() > 10) {
        text[10] = ' ';
    }
    return text;
}

void PrintAttemptTableRow(std::FILE* out, const Attempt& a) {
    std::fprintf(out, "%-6lld %-19s %-5d %-7s %-11s %-4s %-9s %-10llu %-18s %-16s %s\n",
                 static_cast<long long>(a.id), Readable(a.start.startedAt).c_str(), a.start.port,
                 CommandName(a.start.command), OutcomeName(a.outcome),
                 a.resultCode ? std::to_string(*a.resultCode).c_str() : "-",
                 Seconds(a.durationMs).c_str(), static_cast<unsigned long long>(a.bytesSent),
                 a.start.platform.empty() ? "-" : OneLine(a.start.platform).c_str(),
                 OneLine(FileName(a.start.superfile)).c_str(), OneLine(a.reason).c_str());
}

void PrintAttemptTableHeader(std::FILE* out) {
    std::fprintf(out, "%-6s %-19s %-5s %-7s %-11s %-4s %-9s %-10s %-18s %-16s %s\n", "id",
                 "started (UTC)", "port", "command", "result", "code", "time", "bytes", "platform",
                 "superfile", "reason");
}

void PrintSummaryTable(std::FILE* out, const std::vector<SummaryRow>& rows) {
    if (rows.empty()) {
        return;
    }
    std::fprintf(out, "\nSummary per superfile and day (UTC):\n");
    std::fprintf(out, "%-10s %-16s %-7s %6s %6s %10s %11s %7s %7s %9s\n", "day", "superfile",
                 "command", "passed", "failed", "up to date", "interrupted", "running", "yield",
                 "median");
    for (const SummaryRow& r : rows) {
        std::string yield = "-";
        if (r.yield) {
            char text[16];
            std::snprintf(text, sizeof text, "%.1f%%", *r.yield * 100.0);
            yield = text;
        }
        std::fprintf(out, "%-10s %-16s %-7s %6d %6d %10d %11d %7d %7s %9s\n", r.day.c_str(),
                     OneLine(FileName(r.superfile)).c_str(), CommandName(r.command), r.passed,
                     r.failed, r.upToDate, r.interrupted, r.running, yield.c_str(),
                     Seconds(r.medianMs).c_str());
    }
}

void PrintSummaryCsv(std::FILE* out, const std::vector<SummaryRow>& rows) {
    CsvLine(out, kSummaryColumns);
    for (const SummaryRow& r : rows) {
        CsvLine(out, SummaryFields(r));
    }
}

void PrintAttemptJsonRow(std::FILE* out, const Attempt& a) {
    nlohmann::ordered_json line;
    line["id"] = a.id;
    line["started_at"] = a.start.startedAt;
    line["ended_at"] = OrNull(a.endedAt);
    line["station"] = a.start.station;
    line["port"] = a.start.port;
    line["descriptor"] = a.start.descriptor;
    line["platform"] = a.start.platform;
    line["versions_before"] = a.start.versionsBefore;
    line["versions_after"] = a.versionsAfter;
    line["superfile"] = a.start.superfile;
    line["superfile_checksum"] = a.start.superfileChecksum;
    line["command"] = CommandName(a.start.command);
    line["result"] = OutcomeName(a.outcome);
    line["result_code"] = OrNull(a.resultCode);
    line["reason"] = a.reason;
    line["bytes_sent"] = a.bytesSent;
    line["duration_ms"] = OrNull(a.durationMs);
    line["tool_version"] = a.start.toolVersion;
    JsonLine(out, line);
}

void PrintSummaryJson(std::FILE* out, const std::vector<SummaryRow>& rows) {
    for (const SummaryRow& r : rows) {
        nlohmann::ordered_json line;
        line["day"] = r.day;
        line["superfile"] = r.superfile;
        line["command"] = CommandName(r.command);
        line["passed"] = r.passed;
        line["failed"] = r.failed;
        line["up_to_date"] = r.upToDate;
        line["interrupted"] = r.interrupted;
        line["running"] = r.running;
        line["yield"] = OrNull(r.yield);
        line["median_ms"] = OrNull(r.medianMs);
        JsonLine(out, line);
    }
}

}  // namespace

void AttemptPrinter::Print(const Attempt& attempt) {
    switch (style) {
        case HistoryStyle::Table:
            if (!any) {
                PrintAttemptTableHeader(out);
            }
            PrintAttemptTableRow(out, attempt);
            break;
        case HistoryStyle::Csv:
            if (!any) {
                CsvLine(out, kAttemptColumns);
            }
            CsvLine(out, AttemptFields(attempt));
            break;
        case HistoryStyle::Json:
            PrintAttemptJsonRow(out, attempt);
            break;
    }
    any = true;
}

void AttemptPrinter::End() {
    if (!any && style == HistoryStyle::Csv) {
        CsvLine(out, kAttemptColumns);
    } else if (!any && style == HistoryStyle::Table) {
        std::fprintf(out, "No attempts recorded.\n");
    }
}

void PrintSummary(std::FILE* out, HistoryStyle style, const std::vector<SummaryRow>& rows) {
    switch (style) {
        case HistoryStyle::Table:
            PrintSummaryTable(out, rows);
            break;
        case HistoryStyle::Csv:
            PrintSummaryCsv(out, rows);
            break;
        case HistoryStyle::Json:
            PrintSummaryJson(out, rows);
            break;
    }
}
