#include "HistoryCommand.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>

#include "HistoryFormat.h"
#include "UtcTime.h"

using orxresults::Access;
using orxresults::DbFault;
using orxresults::DbStatus;
using orxresults::ResultsDb;

namespace {

constexpr int kExitNoHistory = 1;
constexpr int kExitBadValue = 2;
constexpr int kExitUnreadable = 3;

// A whole decimal number within [low, high].
std::optional<int> Number(const std::string& text, int low, int high) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

// For writing when it can (unfinished attempts are then marked interrupted);
// for reading only when the file is read-only or another process holds it.
DbStatus OpenForHistory(const std::string& path, std::unique_ptr<ResultsDb>& db) {
    DbStatus status = ResultsDb::Open(path, {.create = false}, db);
    if (status.fault == DbFault::ReadOnly || status.fault == DbFault::Locked) {
        return ResultsDb::Open(path, {.access = Access::ReadOnly}, db);
    }
    return status;
}

}  // namespace

void AddHistoryCommand(CLI::App& app, HistoryOptions& options) {
    CLI::App* history = app.add_subcommand(
        "history", "List the recorded attempts, newest first, and a summary per superfile and day");
    history->footer(
        "Reads the results database that orxflash flash, verify and station write. The table "
        "lists the attempts, then per superfile, UTC day and command the phones passed, failed, "
        "up to date, interrupted and running, the yield (passed / (passed + failed)) and the "
        "median duration of the finished attempts. --csv: one header line, then one line per "
        "attempt (RFC 4180; a text a spreadsheet would run as a formula gets a leading '); "
        "--json: one object per attempt per line; with --summary both print the summary rows "
        "instead. Field names are listed in the README. Exit status 0 when "
        "printed (also with no attempts), 1 when the database file does not exist, 2 for a bad "
        "--since, --port or --limit, 3 when the database cannot be read (locked, corrupt, ...).");
    history->add_option("--db", options.dbPath,
                        "The results database (default: orxflash-results.sqlite in the current "
                        "directory)");
    history->add_option("--since", options.since,
                        "Only attempts started at or after this UTC date or time: YYYY-MM-DD or "
                        "YYYY-MM-DDTHH:MM[:SS]");
    history->add_option("--port", options.port, "Only attempts on this device number");
    history->add_option("--limit", options.limit, "Only the newest N attempts");
    CLI::Option* csv = history->add_flag("--csv", options.csv, "CSV instead of a table");
    history->add_flag("--json", options.json, "JSON lines instead of a table")->excludes(csv);
    history->add_flag("--summary", options.summary, "Print only the summary");
}

int RunHistoryCommand(const HistoryOptions& options) {
    orxresults::AttemptFilter filter;
    if (!options.since.empty()) {
        std::optional<std::string> bound = orxresults::SinceBound(options.since);
        if (!bound) {
            std::fprintf(stderr,
                         "orxflash: --since %s: not a date; give YYYY-MM-DD or "
                         "YYYY-MM-DDTHH:MM[:SS] (UTC)\n",
                         options.since.c_str());
            return kExitBadValue;
        }
        filter.since = *bound;
    }
    if (!options.port.empty()) {
        filter.port = Number(options.port, 0, 65535);
        if (!filter.port) {
            std::fprintf(stderr, "orxflash: --port %s: not a device number (0 to 65535)\n",
                         options.port.c_str());
            return kExitBadValue;
        }
    }
    if (!options.limit.empty()) {
        std::optional<int> limit = Number(options.limit, 1, 1 << 30);
        if (!limit) {
            std::fprintf(stderr, "orxflash: --limit %s: not a positive number\n",
                         options.limit.c_str());
            return kExitBadValue;
        }
        filter.limit = *limit;
    }
    std::unique_ptr<ResultsDb> db;
    DbStatus status = OpenForHistory(options.dbPath, db);
    if (status.fault == DbFault::Missing) {
        std::fprintf(stderr, "orxflash: no history: %s\n", status.message.c_str());
        return kExitNoHistory;
    }
    auto unreadable = [&status] {
        std::fprintf(stderr, "orxflash: cannot read the history: %s\n", status.message.c_str());
        return kExitUnreadable;
    };
    if (!status.ok()) {
        return unreadable();
    }
    HistoryStyle style = options.csv    ? HistoryStyle::Csv
                         : options.json ? HistoryStyle::Json
                                        : HistoryStyle::Table;
    if (!options.summary) {
        AttemptPrinter printer(stdout, style);
        status = db->EachAttempt(
            filter, [&printer](const orxresults::Attempt& attempt) { printer.Print(attempt); });
        if (status.ok()) {
            printer.End();
        }
    }
    std::vector<orxresults::SummaryRow> summary;
    if (status.ok() && (options.summary || style == HistoryStyle::Table)) {
        status = db->Summary(filter, summary);
        if (status.ok()) {
            PrintSummary(stdout, style, summary);
        }
    }
    return status.ok() ? 0 : unreadable();
}
