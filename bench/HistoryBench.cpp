// The results database after months on a production line: a file of N
// attempts (a million by default: a week of a busy station), opened for
// writing as each orxflash command does (the write lock is held that long, so
// a running station records nothing meanwhile), and `orxflash history` run on
// it as a supervisor would: the summary, the newest five, and every attempt
// as CSV, each with its time and peak memory.
//   bench_history [--rows N] [--dir DIR] [--orxflash PATH]
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ResultsDb.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "history bench: %s\n", text.c_str());
    std::exit(1);
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// 400 attempts over ten days, four superfiles and all five outcomes, written
// through ResultsDb; then the rows doubled in SQL until there are `rows`.
void MakeDatabase(const std::string& path, long rows) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    {
        std::unique_ptr<orxresults::ResultsDb> db;
        if (!orxresults::ResultsDb::Open(path, {}, db).ok()) {
            Fail("cannot create " + path);
        }
        for (int i = 0; i < 400; ++i) {
            orxresults::AttemptStart start;
            char day[32];
            std::snprintf(day, sizeof day, "2026-11-%02dT08:%02d:00.000Z", 20 + i % 10, i % 60);
            start.startedAt = day;
            start.station = "line-3";
            start.port = i % 160;
            start.descriptor = "Flash HMQ Vintrel";
            start.platform = "GSM k.380";
            start.versionsBefore = "v0x0200/v0x0350/v0xFFFF";
            start.superfile = "/releases/k380-r" + std::to_string(i % 4) + ".shx";
            start.superfileChecksum = "0x1234";
            start.command = orxresults::Command::Station;
            int64_t id = 0;
            if (!db->Begin(start, id).ok()) {
                Fail("cannot record a seed attempt");
            }
            orxresults::AttemptEnd end;
            end.outcome = i % 20 == 0 ? orxresults::Outcome::Failed : orxresults::Outcome::Passed;
            end.reason = i % 20 == 0 ? "the phone was unplugged" : "";
            end.bytesSent = 4u << 20;
            end.durationMs = 4000 + i % 300;
            db->Finish(id, end);
        }
    }
    sqlite3* raw = nullptr;
    sqlite3_open(path.c_str(), &raw);
    const char* copy =
        "INSERT INTO attempts(started_at, ended_at, station, port, descriptor, platform, "
        "versions_before, versions_after, superfile, superfile_checksum, command, result, "
        "result_code, reason, bytes_sent, duration_ms, tool_version, owner) SELECT started_at, "
        "ended_at, station, port, descriptor, platform, versions_before, versions_after, "
        "superfile, superfile_checksum, command, result, result_code, reason, bytes_sent, "
        "duration_ms, tool_version, owner FROM attempts LIMIT ?1";
    for (long have = 400; have < rows;) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(raw, copy, -1, &statement, nullptr);
        sqlite3_bind_int64(statement, 1, std::min(have, rows - have));
        if (sqlite3_step(statement) != SQLITE_DONE) {
            Fail(std::string("cannot grow the file: ") + sqlite3_errmsg(raw));
        }
        sqlite3_finalize(statement);
        have += std::min(have, rows - have);
    }
    sqlite3_close(raw);
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

Run Orxflash(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    auto start = Clock::now();
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        Fail("cannot start " + program);
    }
    Run run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = Since(start);
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 1000000;
    std::string dir = (std::filesystem::temp_directory_path() / "orx-history-bench").string();
    std::string program =
        (std::filesystem::canonical("/proc/self/exe").parent_path() / "orxflash").string();
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--rows" && i + 1 < argc) {
            rows = std::max(400L, std::atol(argv[++i]));
        } else if (flag == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (flag == "--orxflash" && i + 1 < argc) {
            program = std::filesystem::absolute(argv[++i]).string();
        } else {
            Fail("usage: bench_history [--rows N] [--dir DIR] [--orxflash PATH]");
        }
    }
    std::filesystem::create_directories(dir);
    const std::string path = (std::filesystem::path(dir) / "history.sqlite").string();
    MakeDatabase(path, rows);
    std::printf("%ld attempts, %.0f MiB\n\n", rows,
                static_cast<double>(std::filesystem::file_size(path)) / (1 << 20));

    auto start = Clock::now();
    {
        std::unique_ptr<orxresults::ResultsDb> db;
        if (!orxresults::ResultsDb::Open(path, {}, db).ok()) {
            Fail("cannot open " + path);
        }
    }
    std::printf("%-28s %8.3f s\n", "open for writing", Since(start));

    int failures = 0;
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"history --summary", {"history", "--db", path, "--summary"}},
        {"history --limit 5", {"history", "--db", path, "--limit", "5"}},
        {"history --csv (every row)", {"history", "--db", path, "--csv"}},
    };
    for (const auto& [name, args] : cases) {
        Run run = Orxflash(program, args);
        std::printf("%-28s %8.3f s %8.1f MiB peak  exit %d\n", name, run.seconds,
                    static_cast<double>(run.peakKiB) / 1024, run.status);
        failures += run.status != 0;
    }
    return failures == 0 ? 0 : 1;
}
