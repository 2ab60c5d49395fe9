#include "StationDbRecorder.h"

#include <cstdio>

#include "OrxHost.h"
#include "ProcessOwner.h"

#ifndef ORX_TOOL_VERSION
#define ORX_TOOL_VERSION "unknown"
#endif

namespace {

orxresults::Outcome Stored(AttemptOutcome outcome) {
    switch (outcome) {
        case AttemptOutcome::Passed:
            return orxresults::Outcome::Passed;
        case AttemptOutcome::UpToDate:
            return orxresults::Outcome::UpToDate;
        case AttemptOutcome::Failed:
            break;
    }
    return orxresults::Outcome::Failed;
}

}  // namespace

std::unique_ptr<StationDbRecorder> StationDbRecorder::Open(const RecordOptions& options,
                                                           const std::string& copy) {
    std::unique_ptr<orxresults::ResultsDb> db =
        OpenRecordDb(options, "the station did not start; --no-db runs it without a record");
    if (!db) {
        return nullptr;
    }
    return std::unique_ptr<StationDbRecorder>(
        new StationDbRecorder(std::move(db), ReadSuperfileFacts(copy)));
}

StationDbRecorder::StationDbRecorder(std::unique_ptr<orxresults::ResultsDb> db,
                                     SuperfileFacts facts)
    : facts(std::move(facts)), station(orxresults::HostName()) {
    writer = std::make_unique<orxresults::AttemptWriter>(
        std::move(db), [this](int64_t id, const std::string& message) {
            if (sayFailure) {
                sayFailure("attempt " + std::to_string(id) +
                           " of the history: its outcome could not be recorded: " + message);
            }
        });
}

bool StationDbRecorder::Begin(const StationAttempt& attempt, int64_t& id, std::string& why) {
    orxresults::AttemptStart start;
    start.station = station;
    start.port = attempt.port;
    start.descriptor = attempt.descriptor;
    start.platform = attempt.platform;
    start.versionsBefore = attempt.versionsBefore;
    start.superfile = attempt.superfile;
    start.superfileChecksum = facts.storedChecksum;
    start.command = orxresults::Command::Station;
    start.toolVersion = ORX_TOOL_VERSION;
    uint64_t bytes = orxhost::LinkBytesSent(attempt.port);
    if (orxresults::DbStatus status = writer->Begin(start, id); !status.ok()) {
        why = status.message;
        return false;
    }
    std::lock_guard guard(lock);
    bytesBefore[id] = bytes;
    return true;
}

bool StationDbRecorder::Finish(int64_t id, const StationAttempt& attempt, const AttemptEnd& end,
                               std::string&) {
    orxresults::AttemptEnd row;
    row.outcome = Stored(end.outcome);
    row.resultCode = end.result;
    row.reason = end.reason;
    row.durationMs = static_cast<int64_t>(end.seconds * 1000);
    if (end.outcome == AttemptOutcome::UpToDate) {
        row.versionsAfter = attempt.versionsBefore;
    } else if (module != nullptr) {
        row.versionsAfter = ReadPhoneVersions(*module, attempt.port);
    }
    // A flashed phone powers down; it holds the file, so it has the file's versions.
    if (row.versionsAfter.empty() && end.outcome == AttemptOutcome::Passed) {
        row.versionsAfter = facts.versions;
    }
    {
        std::lock_guard guard(lock);
        row.bytesSent = orxhost::LinkBytesSent(attempt.port) - bytesBefore[id];
        bytesBefore.erase(id);
    }
    writer->Finish(id, std::move(row));
    return true;
}

std::string StationDbRecorder::Lost() {
    if (writer->Db().StillAtItsPath()) {
        return {};
    }
    return writer->Db().Path() + ": the results database was removed or replaced on disk";
}
