// A conversion cut short — killed, out of file space, or unable to create an
// image file — must never leave images that a later read takes as up to date
// when they are not, and the next conversion must rebuild them correctly. The
// conversion runs in a forked child that is killed at many points, from before
// the first image file to after the index; both a first conversion and one
// after the superfile changed in place (old images and index present).
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ByteFields.h"
#include "ModuleFakes.h"
#include "ORX_FP_FlashFileIO.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kHeaderSize = 8172;
constexpr size_t kIndexSize = 78354;
constexpr size_t kEntryTable = 6 + kHeaderSize;
constexpr size_t kEntrySize = 272;

Bytes ReadBytes(const std::string& file) {
    return testsupport::ReadBytesOrFail(file);
}

using testsupport::Le16;
using testsupport::Le32;
using testsupport::Sum16;

// About 4 MiB of images (10 MB of S-record text) in six sub-files, code
// groups 0 and 1 in one block. Variant 1 has other data and a longer last
// sub-file, under the same image file names.
json LargeManifest(int variant) {
    json m = json::parse(R"({
      "recordBytes": 32,
      "subfiles": [
        {"slot": "ramdld", "start": "0x03FC0000", "size": 49152},
        {"slot": "cg0", "start": "0x10000000", "size": 1048576, "type": 2},
        {"slot": "cg1", "start": "0x10100000", "size": 786432},
        {"slot": "cg2", "start": "0x10200000", "size": 1572864},
        {"slot": "cg4", "start": "0x10400000", "size": 524288, "type": 2,
         "holes": [[0, 16], [4096, 70000]]},
        {"slot": "cg20", "start": "0x12000000", "size": 262144}
      ]})");
    m["seed"] = 11 + variant;
    if (variant == 1) {
        m["subfiles"][5]["size"] = 300000;
    }
    return m;
}

// Every image well below the index file's size.
json SmallManifest(int variant) {
    json m = json::parse(R"({
      "subfiles": [
        {"slot": "ramdld", "start": "0x03FC0000", "size": 2048},
        {"slot": "cg0", "start": "0x10000000", "size": 40000, "type": 2},
        {"slot": "cg1", "start": "0x10100000", "size": 30000},
        {"slot": "cg3", "start": "0x10200000", "size": 20000}
      ]})");
    m["seed"] = 21 + variant;
    if (variant == 1) {
        m["subfiles"][3]["size"] = 24000;
    }
    return m;
}

// One superfile as written, with the images it must convert into.
struct Version {
    Bytes superfile;
    std::map<int, Bytes> images;
    uint16_t checksum = 0;
};

// What the parent sees of a running conversion.
struct Observation {
    double seconds = 0;
    int percent = -1;       // last progress shown, -1 before any
    bool walkDone = false;  // the line that ends the progress was printed
    std::string output;
};

struct ChildRun {
    bool killed = false;  // ended by the kill, not by finishing
    int exitCode = -1;
    double seconds = 0;
    std::string output;
};

struct KillPoint {
    std::string name;
    std::function<bool(const Observation&)> now;
};

class ConversionInterrupt : public testsupport::ModuleTest {
  protected:
    std::string ImageName(int slot) const { return mkshx::ImageFileName(path, slot); }
    std::string IndexName() const { return scratch.File("line.hmg"); }

    // Builds a superfile and writes it.
    Version Write(const json& manifest) {
        mkshx::BuiltSuperfile built = testsupport::WriteShx(manifest, path);
        EXPECT_TRUE(built.hasChecksum);
        return {built.bytes, built.images, built.storedChecksum};
    }

    // Changes the superfile in place: same path, truncated and rewritten.
    void Put(const Version& version) { testsupport::WriteBytes(path, version.superfile); }

    void RemoveOutputs() {
        for (const auto& file : std::filesystem::directory_iterator(scratch.Path())) {
            std::string ext = file.path().extension().string();
            if (ext == ".smg" || ext == ".hmg" || ext == ".part") {
                std::filesystem::remove_all(file.path());
            }
        }
    }

    // Forks a child that runs PrepareImages with its standard output into a
    // pipe (readFd). fileLimit, when set, is the child's largest file size,
    // with SIGXFSZ ignored so that writes fail with EFBIG instead. A traced
    // child stops before the conversion for the parent to trace it.
    pid_t StartChild(int& readFd, rlim_t fileLimit, bool traced) {
        int fds[2];
        if (pipe(fds) != 0) {
            ADD_FAILURE() << "pipe";
            return -1;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid = fork();
        if (pid < 0) {
            ADD_FAILURE() << "fork";
            return -1;
        }
        if (pid == 0) {
            close(fds[0]);
            dup2(fds[1], STDOUT_FILENO);
            close(fds[1]);
            std::signal(SIGXFSZ, SIG_IGN);
            if (fileLimit != RLIM_INFINITY) {
                rlimit limit{fileLimit, fileLimit};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                    _exit(5);
                }
            }
            // The tracer sets its options at the stop, before the filter
            // hands it the first call.
            if (traced && (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0 ||
                           raise(SIGSTOP) != 0 || !TraceFileCalls())) {
                _exit(6);
            }
            int result = 0;
            try {
                CFlashFileIO reader(nullptr, path);
                result = reader.PrepareImages();
            } catch (...) {
                _exit(4);
            }
            std::fflush(stdout);
            _exit(result == 1 ? 0 : 3);
        }
        close(fds[1]);
        readFd = fds[0];
        return pid;
    }

    static void Finish(ChildRun& run, int status, int readFd, Clock::time_point start) {
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        char buffer[4096];
        for (ssize_t got; (got = read(readFd, buffer, sizeof buffer)) > 0;) {
            run.output.append(buffer, static_cast<size_t>(got));
        }
        close(readFd);
    }

    // Runs the conversion in a child and kills it (SIGKILL) once killNow says
    // so, watching its progress output, the clock and the files meanwhile.
    ChildRun RunChild(const std::function<bool(const Observation&)>& killNow,
                      rlim_t fileLimit = RLIM_INFINITY) {
        ChildRun run;
        auto start = Clock::now();
        int readFd = -1;
        pid_t pid = StartChild(readFd, fileLimit, false);
        if (pid < 0) {
            return run;
        }
        bool sent = false;
        Observation seen;
        for (;;) {
            seen.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (!sent && killNow(seen)) {
                kill(pid, SIGKILL);
                sent = true;
            }
            pollfd readable{readFd, POLLIN, 0};
            if (poll(&readable, 1, 1) > 0) {
                char buffer[4096];
                ssize_t got = read(readFd, buffer, sizeof buffer);
                if (got <= 0) {
                    break;
                }
                seen.output.append(buffer, static_cast<size_t>(got));
                size_t mark = seen.output.rfind('%');
                size_t begin = seen.output.rfind('\r', mark);
                if (mark != std::string::npos && begin != std::string::npos && begin < mark) {
                    seen.percent = std::stoi(seen.output.substr(begin + 1, mark - begin - 1));
                }
                seen.walkDone = seen.output.find('\n', begin == std::string::npos ? 0 : begin) !=
                                std::string::npos;
            }
        }
        int status = 0;
        waitpid(pid, &status, 0);
        run.output = seen.output;
        Finish(run, status, readFd, start);
        return run;
    }

    // A seccomp filter that stops the calling process for its tracer at every
    // system call but those that only manage memory or threads (whose number
    // depends on the allocator's state, not on the conversion).
    static bool TraceFileCalls() {
        const uint32_t untraced[] = {SYS_mmap,     SYS_munmap, SYS_brk,           SYS_madvise,
                                     SYS_mprotect, SYS_mremap, SYS_futex,         SYS_sched_yield,
                                     SYS_getpid,   SYS_gettid, SYS_rt_sigprocmask};
        std::vector<sock_filter> program;
        program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
        for (uint32_t nr : untraced) {
            program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 1));
            program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
        }
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
        sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
        return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
               prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
    }

    // Runs the conversion in a traced child and kills it (SIGKILL) when it is
    // about to make its killAt-th system call (0: never). Calls that manage
    // memory are not counted, and of the progress written to standard output
    // only every tenth: between two counted calls the files change only by
    // the writes into the image mappings, so the kill points are all the
    // states an interruption can leave, and some within the record walk.
    ChildRun RunTracedChild(int killAt) {
        ChildRun run;
        auto start = Clock::now();
        int readFd = -1;
        pid_t pid = StartChild(readFd, RLIM_INFINITY, true);
        if (pid < 0) {
            return run;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFSTOPPED(status) || ptrace(PTRACE_SETOPTIONS, pid, nullptr,
                                          PTRACE_O_TRACESECCOMP | PTRACE_O_EXITKILL) != 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "cannot trace the child";
            Finish(run, status, readFd, start);
            return run;
        }
        int signal = 0;
        int calls = 0;
        int progress = 0;
        for (;;) {
            ptrace(PTRACE_CONT, pid, nullptr, signal);
            waitpid(pid, &status, 0);
            if (WIFEXITED(status) || WIFSIGNALED(status)) {
                break;
            }
            signal = 0;
            if (status >> 8 != (SIGTRAP | (PTRACE_EVENT_SECCOMP << 8))) {
                signal = WSTOPSIG(status);  // a signal of its own: passed on
                continue;
            }
            __ptrace_syscall_info info{};
            if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) > 0 &&
                info.op == PTRACE_SYSCALL_INFO_SECCOMP && info.seccomp.nr == SYS_write &&
                info.seccomp.args[0] == STDOUT_FILENO && ++progress % 10 != 0) {
                continue;
            }
            if (++calls == killAt) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
        }
        Finish(run, status, readFd, start);
        return run;
    }

    // The image and index files as they are now, to put back later.
    std::map<std::string, Bytes> Snapshot() {
        std::map<std::string, Bytes> files;
        for (const auto& file : std::filesystem::directory_iterator(scratch.Path())) {
            std::string ext = file.path().extension().string();
            if (ext == ".smg" || ext == ".hmg") {
                files[file.path().string()] = ReadBytes(file.path().string());
            }
        }
        return files;
    }
    void Restore(const std::map<std::string, Bytes>& files) {
        RemoveOutputs();
        for (const auto& [name, bytes] : files) {
            testsupport::WriteBytes(name, bytes);
        }
    }

    // Right after the interruption: a read may call the images up to date
    // only when every one of them is what the superfile on disk converts to.
    void ExpectNotFalselyUpToDate(const Version& current, const std::string& context) {
        SCOPED_TRACE(context);
        CFlashFileIO reader(nullptr, path);
        testing::internal::CaptureStdout();
        int result = reader.ReadSuperfile(FailureBoxes::Quiet);
        std::string output = testing::internal::GetCapturedStdout();
        ASSERT_EQ(result, 1) << output;
        if (!reader.ImagesUpToDate()) {
            return;
        }
        ++upToDateAfterStop;
        for (const auto& [slot, image] : current.images) {
            std::error_code error;
            ASSERT_TRUE(std::filesystem::is_regular_file(ImageName(slot), error))
                << "image of slot " << slot << " missing, yet the images count as up to date";
            EXPECT_TRUE(ReadBytes(ImageName(slot)) == image)
                << "image of slot " << slot << " wrong, yet the images count as up to date";
        }
    }

    // The next conversion rebuilds as needed and ends with the right images,
    // a valid index for them, and a read that finds them up to date.
    void ExpectRecovers(const Version& current, const std::string& context) {
        SCOPED_TRACE(context);
        {
            CFlashFileIO reader(nullptr, path);
            testing::internal::CaptureStdout();
            int result = reader.PrepareImages();
            std::string output = testing::internal::GetCapturedStdout();
            ASSERT_EQ(result, 1) << output;
        }
        for (const auto& [slot, image] : current.images) {
            ASSERT_TRUE(std::filesystem::is_regular_file(ImageName(slot))) << "slot " << slot;
            EXPECT_TRUE(ReadBytes(ImageName(slot)) == image) << "image of slot " << slot;
        }
        Bytes index = ReadBytes(IndexName());
        ASSERT_EQ(index.size(), kIndexSize);
        EXPECT_EQ(Le16(&index[0]), 1);
        EXPECT_EQ(Le16(&index[2]), static_cast<uint16_t>(Sum16(&index[6], kIndexSize - 6)));
        EXPECT_EQ(Le16(&index[4]), current.checksum);
        for (int slot = 0; slot < 258; ++slot) {
            const uint8_t* entry = &index[kEntryTable + kEntrySize * static_cast<size_t>(slot)];
            auto image = current.images.find(slot);
            bool present = image != current.images.end();
            EXPECT_EQ(Le32(entry + 268), present ? 1u : 0u) << "slot " << slot;
            if (present) {
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry)), ImageName(slot));
                EXPECT_EQ(Le16(entry + 256), Sum16(image->second.data(), image->second.size()))
                    << "slot " << slot;
            }
        }
        CFlashFileIO again(nullptr, path);
        testing::internal::CaptureStdout();
        EXPECT_EQ(again.ReadSuperfile(FailureBoxes::Quiet), 1);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(again.ImagesUpToDate()) << "the rebuilt images are not found up to date";
    }

    // Kill points over one conversion that took `full` seconds uninterrupted.
    std::vector<KillPoint> KillPoints(double full, bool oldFilesPresent) {
        std::vector<KillPoint> points;
        points.push_back({"at once", [](const Observation&) { return true; }});
        for (double share : {0.1, 0.3, 0.6, 0.9, 1.2}) {
            points.push_back({"after " + std::to_string(share) + " of the full time",
                              [=](const Observation& o) { return o.seconds >= share * full; }});
        }
        if (oldFilesPresent) {
            std::string index = IndexName();
            std::string first = ImageName(0);
            points.push_back({"when the old index is gone",
                              [=](const Observation&) { return !std::filesystem::exists(index); }});
            points.push_back({"when the old first image is gone",
                              [=](const Observation&) { return !std::filesystem::exists(first); }});
        } else {
            std::string first = ImageName(0);
            points.push_back({"when the first image file appears",
                              [=](const Observation&) { return std::filesystem::exists(first); }});
        }
        for (int percent : {1, 25, 50, 75, 99}) {
            points.push_back({"at " + std::to_string(percent) + "% progress",
                              [=](const Observation& o) { return o.percent >= percent; }});
        }
        points.push_back(
            {"when the records are written", [](const Observation& o) { return o.walkDone; }});
        std::string index = IndexName();
        bool gone = !oldFilesPresent;
        points.push_back({"when the new index appears", [=](const Observation&) mutable {
                              gone = gone || !std::filesystem::exists(index);
                              return gone && std::filesystem::exists(index);
                          }});
        points.push_back({"never", [](const Observation&) { return false; }});
        return points;
    }

    // An uninterrupted conversion in a child: how long it takes.
    double TimeFullConversion() {
        ChildRun run = RunChild([](const Observation&) { return false; });
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return run.seconds;
    }

    static bool SingleThreaded() {
        size_t tasks = 0;
        for ([[maybe_unused]] const auto& task :
             std::filesystem::directory_iterator("/proc/self/task")) {
            ++tasks;
        }
        return tasks == 1;
    }

    const std::string path = scratch.File("line.shx");
    int upToDateAfterStop = 0;
};

TEST_F(ConversionInterrupt, KilledFirstConversionIsRebuiltNeverTakenAsUpToDate) {
    ASSERT_TRUE(SingleThreaded()) << "fork needs a single-threaded test process";
    Version version = Write(LargeManifest(0));
    double full = TimeFullConversion();
    ExpectRecovers(version, "uninterrupted");
    int killedMidway = 0;
    int finished = 0;
    for (const KillPoint& point : KillPoints(full, false)) {
        RemoveOutputs();
        ChildRun run = RunChild(point.now);
        (run.killed ? killedMidway : finished) += 1;
        if (!run.killed) {
            EXPECT_EQ(run.exitCode, 0) << point.name << ": " << run.output;
        }
        ExpectNotFalselyUpToDate(version, "killed " + point.name);
        ExpectRecovers(version, "after the kill " + point.name);
        if (HasFatalFailure()) {
            return;
        }
    }
    // The kills did land both inside the conversion and after it.
    EXPECT_GE(killedMidway, 8);
    EXPECT_GE(finished, 1);
}

TEST_F(ConversionInterrupt, KilledReconversionAfterInPlaceChangeIsRebuiltNeverTakenAsUpToDate) {
    ASSERT_TRUE(SingleThreaded()) << "fork needs a single-threaded test process";
    Version versions[2] = {Write(LargeManifest(0)), Write(LargeManifest(1))};
    ASSERT_NE(versions[0].checksum, versions[1].checksum);
    ASSERT_EQ(versions[0].images.size(), versions[1].images.size());
    ExpectRecovers(versions[1], "first conversion");
    Put(versions[0]);
    double full = TimeFullConversion();
    ExpectRecovers(versions[0], "uninterrupted re-conversion");

    // Each round changes the superfile in place to the other version, over
    // the complete images and index of the one before.
    int current = 0;
    int killedMidway = 0;
    int finished = 0;
    for (const KillPoint& point : KillPoints(full, true)) {
        current = 1 - current;
        Put(versions[current]);
        ChildRun run = RunChild(point.now);
        (run.killed ? killedMidway : finished) += 1;
        ExpectNotFalselyUpToDate(versions[current], "killed " + point.name);
        ExpectRecovers(versions[current], "after the kill " + point.name);
        if (HasFatalFailure()) {
            return;
        }
    }
    EXPECT_GE(killedMidway, 8);
    EXPECT_GE(finished, 1);
    // Once a round's superfile is converted it stays so: only interruptions
    // may leave the images stale, and those were never taken as up to date.
}

// Every system call of the conversion as a kill point, on a small superfile,
// for a first conversion and for one over the complete files of the other
// version after the superfile changed in place.
TEST_F(ConversionInterrupt, KilledAtEverySystemCallIsRebuiltNeverTakenAsUpToDate) {
    ASSERT_TRUE(SingleThreaded()) << "fork and ptrace need a single-threaded test process";
    Version versions[2] = {Write(SmallManifest(0)), Write(SmallManifest(1))};
    ASSERT_NE(versions[0].checksum, versions[1].checksum);
    RemoveOutputs();
    Put(versions[0]);
    ExpectRecovers(versions[0], "the version before");
    const std::map<std::string, Bytes> before = Snapshot();
    for (bool reconversion : {false, true}) {
        SCOPED_TRACE(reconversion ? "re-conversion" : "first conversion");
        int killed = 0;
        int leftUpToDate = 0;
        // Until the child finishes before its kill point, twice in a row: the
        // number of calls varies a little from run to run.
        for (int killAt = 1, finished = 0; finished < 2 && killAt < 2000; ++killAt) {
            if (reconversion) {
                Restore(before);
            } else {
                RemoveOutputs();
            }
            Put(versions[1]);
            ChildRun run = RunTracedChild(killAt);
            finished = run.killed ? 0 : finished + 1;
            killed += run.killed ? 1 : 0;
            int upToDate = upToDateAfterStop;
            ExpectNotFalselyUpToDate(versions[1], "killed at call " + std::to_string(killAt));
            leftUpToDate += run.killed && upToDateAfterStop > upToDate ? 1 : 0;
            ExpectRecovers(versions[1], "after the kill at call " + std::to_string(killAt));
            if (HasFailure()) {
                return;  // the first failing call tells the story; the rest repeat it
            }
        }
        EXPECT_GE(killed, 40) << "too few calls to be a conversion";
        // Only kills after the index is in place leave the images up to date.
        EXPECT_LE(leftUpToDate, killed / 4);
    }
}

// An image file that cannot be created (a directory in its place) stops the
// build; nothing counts as up to date until a conversion succeeds — not even
// when the superfile goes back to the version whose images were complete.
TEST_F(ConversionInterrupt, ImageThatCannotBeCreatedLeavesNothingUpToDate) {
    Version versions[2] = {Write(SmallManifest(0)), Write(SmallManifest(1))};
    for (bool reconversion : {false, true}) {
        for (int slot : {0, 3, 5}) {  // first image, code group 1 (shared block), last
            std::string context = std::string(reconversion ? "re-conversion" : "first conversion") +
                                  ", directory at the image of slot " + std::to_string(slot);
            SCOPED_TRACE(context);
            RemoveOutputs();
            if (reconversion) {
                Put(versions[0]);
                ExpectRecovers(versions[0], "old version");
            }
            Put(versions[1]);
            std::filesystem::remove(ImageName(slot));
            ASSERT_TRUE(std::filesystem::create_directory(ImageName(slot)));
            {
                CFlashFileIO reader(nullptr, path);
                testing::internal::CaptureStdout();
                int result = reader.PrepareImages();
                std::string output = testing::internal::GetCapturedStdout();
                EXPECT_EQ(result, 0) << output;
            }
            ExpectNotFalselyUpToDate(versions[1], "after the failed build");
            if (reconversion) {
                Put(versions[0]);
                ExpectNotFalselyUpToDate(versions[0], "back to the old version");
                Put(versions[1]);
            }
            std::filesystem::remove(ImageName(slot));
            ExpectRecovers(versions[1], "directory removed");
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

// The index's name is taken by a directory: whether the build stops or goes
// on without an index, nothing counts as up to date afterwards.
TEST_F(ConversionInterrupt, IndexThatCannotBeWrittenLeavesNothingUpToDate) {
    Version versions[2] = {Write(SmallManifest(0)), Write(SmallManifest(1))};
    for (bool reconversion : {false, true}) {
        SCOPED_TRACE(reconversion ? "re-conversion" : "first conversion");
        RemoveOutputs();
        if (reconversion) {
            Put(versions[0]);
            ExpectRecovers(versions[0], "old version");
            std::filesystem::remove(IndexName());
        }
        Put(versions[1]);
        ASSERT_TRUE(std::filesystem::create_directory(IndexName()));
        {
            CFlashFileIO reader(nullptr, path);
            testing::internal::CaptureStdout();
            reader.PrepareImages();
            testing::internal::GetCapturedStdout();
        }
        ExpectNotFalselyUpToDate(versions[1], "after the build");
        std::filesystem::remove(IndexName());
        ExpectRecovers(versions[1], "directory removed");
    }
}

// A full disk, as a file size limit in the child: the limit falls below the
// first image, between images, or above every image but below the index.
TEST_F(ConversionInterrupt, FileSizeLimitLeavesNothingUpToDate) {
    ASSERT_TRUE(SingleThreaded()) << "fork needs a single-threaded test process";
    struct Case {
        const char* name;
        rlim_t limit;
        bool buildFails;
    };
    const Case cases[] = {
        {"limit below the first image", 1024, true},
        {"limit between images", 16 * 1024, true},
        {"limit below the index", 70000, false},
    };
    const Version old = Write(SmallManifest(0));
    const Version version = Write(SmallManifest(1));
    for (const Case& c : cases) {
        for (bool reconversion : {false, true}) {
            std::string context =
                std::string(c.name) + (reconversion ? ", re-conversion" : ", first conversion");
            SCOPED_TRACE(context);
            RemoveOutputs();
            if (reconversion) {
                Put(old);
                ExpectRecovers(old, "old version");
            }
            Put(version);
            ChildRun run = RunChild([](const Observation&) { return false; }, c.limit);
            ASSERT_FALSE(run.killed);
            if (c.buildFails) {
                EXPECT_EQ(run.exitCode, 3) << "a build that could not write an image succeeded\n"
                                           << run.output;
                // Said as it is, not as a file held by another process.
                EXPECT_NE(run.output.find("ERROR: The disk is full."), std::string::npos)
                    << run.output;
                EXPECT_EQ(run.output.find("write protected"), std::string::npos) << run.output;
            } else {
                EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 3) << run.output;
                EXPECT_FALSE(std::filesystem::exists(IndexName())) << "an index past the limit";
            }
            ExpectNotFalselyUpToDate(version, "after the build");
            ExpectRecovers(version, "without the limit");
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

}  // namespace
