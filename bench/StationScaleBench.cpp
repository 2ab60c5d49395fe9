// Runs `orxflash station` as production would, on simulated phones plugged in
// over time, and reads its JSON events and its results database:
//   1. one phone alone (the median of three stations of one phone each);
//   2. N phones (160) on their own ports, arriving at random over S seconds
//      (60), each with 4 MiB of images on a 1 MiB/s link: every phone must
//      pass and have its row, and each phone's time is set against the one
//      phone alone;
//   3. the same arrivals with --no-db, so what the database costs a job shows
//      as the difference;
//   4. A attempts (1,000) on the N ports, each phone unplugged as soon as its
//      attempt ended and the next one on its port plugged in: the station's
//      peak resident memory after the 100th attempt and after the last.
//   bench_station_scale [--quick] [--phones N] [--over S] [--image-mib N]
//                       [--rate-mib N] [--attempts A] [--seed N] [--dir DIR]
//                       [--orxflash PATH]
// --quick: 8 phones over 4 s, 1 MiB images at 4 MiB/s, 40 attempts.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FlashBenchSupport.h"
#include "ResultsDb.h"

extern char** environ;

namespace {

using flashbench::kMiB;
using Clock = std::chrono::steady_clock;

struct Settings {
    int phones = 160;
    double over = 60;
    uint64_t imageMiB = 4;
    uint64_t rateMiB = 1;
    int attempts = 1000;
    unsigned seed = 1208;
    std::string dir = (std::filesystem::temp_directory_path() / "orx-station-bench").string();
    std::string orxflash;
};

struct StationRun {
    std::vector<double> seconds;  // each attempt's time, as its result event gives it
    int passed = 0;
    int otherOutcomes = 0;
    double wall = 0;
    double cpu = 0;              // user + system of the station process
    long peakAt100KiB = -1;      // VmHWM once the 100th attempt had ended
    long peakAtLastKiB = -1;     // VmHWM once the last one had ended
    long residentAt100KiB = -1;  // VmRSS at the same moments
    long residentAtLastKiB = -1;
    int exitStatus = -1;
};

long ProcKiB(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + key.size());
        }
    }
    return -1;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// Starts the station with standard output on a pipe and reads its events
// until it ends; `attempts` is how many results make the run whole.
StationRun RunStation(const Settings& s, const std::vector<std::string>& extra, int attempts) {
    std::vector<std::string> args{s.orxflash, "station", "station.shx", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) {
        flashbench::Fail("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid = 0;
    const auto start = Clock::now();
    int spawned = posix_spawn(&pid, s.orxflash.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        flashbench::Fail("cannot start " + s.orxflash);
    }
    StationRun run;
    FILE* events = fdopen(fds[0], "r");
    char* line = nullptr;
    size_t capacity = 0;
    int results = 0;
    while (getline(&line, &capacity, events) > 0) {
        nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (event.is_discarded() || event.value("event", "") != "result") {
            continue;
        }
        ++results;
        run.seconds.push_back(event.value("seconds", 0.0));
        (event.value("outcome", "") == "passed" ? run.passed : run.otherOutcomes) += 1;
        if (results == 100 || results == attempts) {
            long peak = ProcKiB(pid, "VmHWM");
            long resident = ProcKiB(pid, "VmRSS");
            (results == 100 ? run.peakAt100KiB : run.peakAtLastKiB) = peak;
            (results == 100 ? run.residentAt100KiB : run.residentAtLastKiB) = resident;
        }
    }
    free(line);
    fclose(events);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        flashbench::Fail("lost the station process");
    }
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

// One profile per port: the phone the release is flashed onto.
std::string ProfileFor(const Settings& s, int port) {
    std::string path = "phone-" + std::to_string(port) + ".json";
    std::ofstream(path) << flashbench::PhoneProfile(static_cast<uint16_t>(port), s.imageMiB * kMiB,
                                                    s.rateMiB * kMiB);
    return path;
}

// Every row of the database passed, with at least the images' bytes sent.
int CheckRows(const std::string& path, int expected, uint64_t imageBytes) {
    std::unique_ptr<orxresults::ResultsDb> db;
    orxresults::OpenOptions options;
    options.access = orxresults::Access::ReadOnly;
    if (!orxresults::ResultsDb::Open(path, options, db).ok()) {
        flashbench::Fail("cannot read " + path);
    }
    std::vector<orxresults::Attempt> rows;
    db->Attempts({}, rows);
    int good = 0;
    for (const orxresults::Attempt& row : rows) {
        good += row.outcome == orxresults::Outcome::Passed && row.bytesSent >= imageBytes &&
                row.durationMs.has_value();
    }
    if (static_cast<int>(rows.size()) != expected || good != expected) {
        std::printf("  database: %zu rows, %d passed with their bytes, %d expected\n", rows.size(),
                    good, expected);
        return 1;
    }
    std::printf("  database: %d rows, every one passed with its bytes and duration\n", good);
    return 0;
}

int Report(const char* name, const StationRun& run, int expected, double alone) {
    const double median = Percentile(run.seconds, 0.5);
    const double p90 = Percentile(run.seconds, 0.9);
    const double worst = Percentile(run.seconds, 1.0);
    std::printf("%-22s %4d/%-4d passed  median %6.3f s  p90 %6.3f s  max %6.3f s", name, run.passed,
                expected, median, p90, worst);
    if (alone > 0) {
        std::printf("  (x%.3f, x%.3f, x%.3f of alone)", median / alone, p90 / alone, worst / alone);
    }
    std::printf("  wall %.1f s  cpu %.1f s  exit %d\n", run.wall, run.cpu, run.exitStatus);
    return run.passed == expected && run.otherOutcomes == 0 && run.exitStatus == 0 ? 0 : 1;
}

void Reset(const char* db) {
    std::filesystem::remove(db);
    std::filesystem::remove(std::string(db) + "-wal");
    std::filesystem::remove(std::string(db) + "-shm");
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    s.orxflash = (std::filesystem::canonical("/proc/self/exe").parent_path() / "orxflash").string();
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        bool value = i + 1 < argc;
        if (flag == "--quick") {
            s.phones = 8;
            s.over = 4;
            s.imageMiB = 1;
            s.rateMiB = 4;
            s.attempts = 40;
        } else if (flag == "--phones" && value) {
            s.phones = std::clamp(std::atoi(argv[++i]), 1, 160);
        } else if (flag == "--over" && value) {
            s.over = std::max(0.0, std::atof(argv[++i]));
        } else if (flag == "--image-mib" && value) {
            s.imageMiB = std::max(1, std::atoi(argv[++i]));
        } else if (flag == "--rate-mib" && value) {
            s.rateMiB = std::max(1, std::atoi(argv[++i]));
        } else if (flag == "--attempts" && value) {
            s.attempts = std::max(1, std::atoi(argv[++i]));
        } else if (flag == "--seed" && value) {
            s.seed = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (flag == "--dir" && value) {
            s.dir = argv[++i];
        } else if (flag == "--orxflash" && value) {
            s.orxflash = std::filesystem::absolute(argv[++i]).string();
        } else {
            flashbench::Fail(
                "usage: bench_station_scale [--quick] [--phones N] [--over S] [--image-mib N] "
                "[--rate-mib N] [--attempts A] [--seed N] [--dir DIR] [--orxflash PATH]");
        }
    }
    std::filesystem::create_directories(s.dir);
    if (chdir(s.dir.c_str()) != 0) {
        flashbench::Fail("cannot enter " + s.dir);
    }
    const uint64_t imageBytes = s.imageMiB * kMiB;
    flashbench::WriteRelease("station.shx", imageBytes, 1208);
    std::vector<std::string> profiles;
    for (int port = 0; port < s.phones; ++port) {
        profiles.push_back(ProfileFor(s, port));
    }
    std::printf("%llu MiB of images per phone at %llu MiB/s, %d ports, %u processors\n\n",
                static_cast<unsigned long long>(s.imageMiB),
                static_cast<unsigned long long>(s.rateMiB), s.phones,
                std::thread::hardware_concurrency());

    int failures = 0;
    std::vector<double> alones;
    for (int run = 0; run < 3; ++run) {
        Reset("alone.sqlite");
        StationRun one =
            RunStation(s, {"--count", "1", "--db", "alone.sqlite", "--sim", profiles[0]}, 1);
        failures += Report("one phone alone", one, 1, 0);
        alones.push_back(one.seconds.empty() ? 0 : one.seconds[0]);
    }
    const double alone = Percentile(alones, 0.5);

    // Random arrivals, one phone per port, the same for both runs.
    std::mt19937 random(s.seed);
    std::uniform_real_distribution<double> when(0, s.over);
    std::vector<std::string> arrivals;
    for (int port = 0; port < s.phones; ++port) {
        arrivals.push_back("--sim");
        char at[32];
        std::snprintf(at, sizeof at, "@%.3f", when(random));
        arrivals.push_back(profiles[static_cast<size_t>(port)] + at);
    }
    const std::string count = std::to_string(s.phones);
    std::vector<std::string> withDb{"--count", count, "--db", "station.sqlite"};
    withDb.insert(withDb.end(), arrivals.begin(), arrivals.end());
    Reset("station.sqlite");
    StationRun station = RunStation(s, withDb, s.phones);
    failures += Report("station", station, s.phones, alone);
    failures += CheckRows("station.sqlite", s.phones, imageBytes);

    std::vector<std::string> noDb{"--count", count, "--no-db"};
    noDb.insert(noDb.end(), arrivals.begin(), arrivals.end());
    StationRun bare = RunStation(s, noDb, s.phones);
    failures += Report("station, --no-db", bare, s.phones, alone);
    std::printf("  the database's cost to a job: median %+.3f s, p90 %+.3f s\n\n",
                Percentile(station.seconds, 0.5) - Percentile(bare.seconds, 0.5),
                Percentile(station.seconds, 0.9) - Percentile(bare.seconds, 0.9));

    // Every attempt due at the start; each port takes its phones in turn.
    std::vector<std::string> many{"--count",       std::to_string(s.attempts), "--db",
                                  "memory.sqlite", "--unplug-after",           "0"};
    for (int i = 0; i < s.attempts; ++i) {
        many.push_back("--sim");
        many.push_back(profiles[static_cast<size_t>(i % s.phones)]);
    }
    Reset("memory.sqlite");
    StationRun memory = RunStation(s, many, s.attempts);
    failures += Report("many attempts", memory, s.attempts, alone);
    failures += CheckRows("memory.sqlite", s.attempts, imageBytes);
    std::printf(
        "  station peak resident: %.1f MiB after 100 attempts, %.1f MiB after %d "
        "(resident %.1f and %.1f MiB)\n",
        static_cast<double>(memory.peakAt100KiB) / 1024,
        static_cast<double>(memory.peakAtLastKiB) / 1024, s.attempts,
        static_cast<double>(memory.residentAt100KiB) / 1024,
        static_cast<double>(memory.residentAtLastKiB) / 1024);
    return failures == 0 ? 0 : 1;
}
