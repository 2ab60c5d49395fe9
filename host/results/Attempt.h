// One attempt to flash or verify a phone, as the results database keeps it,
// and the filters and summary rows of its queries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orxresults {

enum class Command { Flash, Verify, Station };
enum class Outcome { Running, Passed, Failed, UpToDate, Interrupted };

// The texts stored in the database and printed by history: "flash", "verify",
// "station"; "running", "passed", "failed", "up to date", "interrupted".
const char* CommandName(Command command);
const char* OutcomeName(Outcome outcome);
std::optional<Command> CommandByName(const std::string& name);
std::optional<Outcome> OutcomeByName(const std::string& name);

// What is known when an attempt starts.
struct AttemptStart {
    std::string startedAt;  // UTC ISO 8601 (UtcNow()); empty: now
    std::string station;    // the host's name
    int port = 0;           // the device number
    std::string descriptor;
    std::string platform;
    std::string versionsBefore;     // "v0x0100/v0x0200/v0x0300": code groups 0, 1 and 6
    std::string superfile;          // absolute path
    std::string superfileChecksum;  // the trailer's stored checksum, "0x1234"; empty: none
    Command command = Command::Flash;
    std::string toolVersion;
};

// What is known when it ends.
struct AttemptEnd {
    std::string endedAt;                // empty: now
    Outcome outcome = Outcome::Failed;  // never Running
    int resultCode = 0;                 // the module's result (0, 3, 15, 16, 52)
    std::string reason;                 // why it failed; empty when it passed
    std::string versionsAfter;
    uint64_t bytesSent = 0;  // bytes the host sent the phone over its links
    int64_t durationMs = 0;  // measured by the caller on a steady clock
};

// A row as queries return it.
struct Attempt {
    int64_t id = 0;
    AttemptStart start;
    Outcome outcome = Outcome::Running;
    std::optional<std::string> endedAt;  // none while running or after an interruption
    std::optional<int> resultCode;
    std::string reason;
    std::string versionsAfter;
    uint64_t bytesSent = 0;
    std::optional<int64_t> durationMs;
};

struct AttemptFilter {
    std::string since = {};        // inclusive lower bound on the start, UTC ISO 8601; empty: all
    std::optional<int> port = {};  // one device number only
    int limit = 0;                 // attempts: the newest so many; 0: all
};

// Attempts of one command on one superfile during one UTC day.
struct SummaryRow {
    std::string superfile;
    std::string day;  // "2026-12-08"
    Command command = Command::Flash;
    int passed = 0;
    int failed = 0;
    int upToDate = 0;
    int interrupted = 0;
    int running = 0;
    std::optional<double> yield;      // passed / (passed + failed); none when both are 0
    std::optional<int64_t> medianMs;  // median duration of the finished attempts
};

}  // namespace orxresults
