#include "AttemptRecorder.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "FailureReason.h"
#include "OrxHost.h"
#include "ProcessOwner.h"

#ifndef ORX_TOOL_VERSION
#define ORX_TOOL_VERSION "unknown"
#endif

using orxresults::AttemptEnd;
using orxresults::AttemptStart;
using orxresults::Command;
using orxresults::DbStatus;
using orxresults::Outcome;
using orxresults::ResultsDb;

void AddRecordOptions(CLI::App& command, RecordOptions& options) {
    CLI::Option* db =
        command.add_option("--db", options.dbPath,
                           "The results database each phone's attempt is recorded in (default: "
                           "orxflash-results.sqlite in the current directory)");
    command.add_flag("--no-db", options.noDb, "Record nothing")->excludes(db);
}

std::unique_ptr<ResultsDb> OpenRecordDb(const RecordOptions& options, const char* notDone) {
    std::unique_ptr<ResultsDb> db;
    DbStatus status = ResultsDb::Open(options.dbPath, {}, db);
    if (!status.ok()) {
        std::fprintf(stderr, "orxflash: cannot record the attempts: %s\norxflash: %s\n",
                     status.message.c_str(), notDone);
        return nullptr;
    }
    if (int interrupted = db->InterruptedAtOpen(); interrupted > 0) {
        std::fprintf(
            stderr,
            "orxflash: %s: %d attempt%s of an earlier run never ended; marked interrupted\n",
            options.dbPath.c_str(), interrupted, interrupted == 1 ? "" : "s");
    }
    return db;
}

bool AttemptRecorder::Open(const RecordOptions& options, Command command,
                           std::unique_ptr<AttemptRecorder>& recorder) {
    recorder.reset();
    if (options.noDb) {
        return true;
    }
    std::unique_ptr<ResultsDb> db =
        OpenRecordDb(options, "nothing was done; --no-db runs without a record");
    if (!db) {
        return false;
    }
    recorder.reset(new AttemptRecorder(std::move(db), command));
    return true;
}

AttemptRecorder::AttemptRecorder(std::unique_ptr<ResultsDb> db, Command command)
    : db(std::move(db)), command(command), station(orxresults::HostName()) {}

const SuperfileFacts& AttemptRecorder::Facts(const std::string& superfile) {
    std::lock_guard guard(lock);
    auto found = facts.find(superfile);
    if (found == facts.end()) {
        found = facts.emplace(superfile, ReadSuperfileFacts(superfile)).first;
    }
    return found->second;
}

void AttemptRecorder::SayNotRecorded(uint16_t deviceId, const DbStatus& status) {
    std::fprintf(stderr, "orxflash: phone %u: the attempt could not be recorded: %s\n",
                 static_cast<unsigned>(deviceId), status.message.c_str());
    std::lock_guard guard(lock);
    allRecorded = false;
}

bool AttemptRecorder::Starting(const PhoneJob& job) {
    PhoneIdentity phone =
        module != nullptr ? ReadPhoneIdentity(*module, job.deviceId) : PhoneIdentity{};
    const SuperfileFacts& file = Facts(job.superfile);
    AttemptStart start;
    start.station = station;
    start.port = job.deviceId;
    start.descriptor = phone.descriptor;
    start.platform = phone.platform;
    start.versionsBefore = phone.versions;
    start.superfile = job.superfile;
    start.superfileChecksum = file.storedChecksum;
    start.command = command;
    start.toolVersion = ORX_TOOL_VERSION;
    Running attempt;
    attempt.versionsBefore = phone.versions;
    attempt.bytesBefore = orxhost::LinkBytesSent(job.deviceId);
    if (DbStatus status = db->Begin(start, attempt.id); !status.ok()) {
        SayNotRecorded(job.deviceId, status);
        return false;
    }
    attempt.started = std::chrono::steady_clock::now();
    std::lock_guard guard(lock);
    running[job.deviceId] = attempt;
    return true;
}

void AttemptRecorder::Ended(const PhoneJob& job, int result) {
    auto ended = std::chrono::steady_clock::now();
    Running attempt;
    {
        std::lock_guard guard(lock);
        auto found = running.find(job.deviceId);
        if (found == running.end()) {
            return;
        }
        attempt = found->second;
        running.erase(found);
    }
    AttemptEnd end;
    end.outcome = result == 0 ? Outcome::Passed : Outcome::Failed;
    end.resultCode = result;
    end.durationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(ended - attempt.started).count();
    end.bytesSent = orxhost::LinkBytesSent(job.deviceId) - attempt.bytesBefore;
    if (result != 0 && module != nullptr) {
        end.reason = AskFailure(*module, job.deviceId).reason;
    }
    if (command == Command::Verify) {
        end.versionsAfter = attempt.versionsBefore;  // a verify writes nothing
    } else if (module != nullptr) {
        end.versionsAfter = ReadPhoneVersions(*module, job.deviceId);
        // A flashed phone powers down; it holds the file, so it has the file's versions.
        if (end.versionsAfter.empty() && result == 0) {
            end.versionsAfter = Facts(job.superfile).versions;
        }
    }
    if (DbStatus status = db->Finish(attempt.id, end); !status.ok()) {
        SayNotRecorded(job.deviceId, status);
    }
}

bool AttemptRecorder::AllRecorded() const {
    std::lock_guard guard(lock);
    return allRecorded;
}
