// The rotating error log: which file an entry goes to, the entry's exact bytes,
// how the log switches itself off and where it reports that, and whole entries
// under concurrent writers.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <locale>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ErrorLog.h"
#include "ModuleFakes.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

namespace {

using testsupport::ModuleTest;

constexpr int64_t kLimit = 4194304;
const std::string kAllFullReport =
    "Failed to Create Error Log File FlashErrorLog4.log.  Please Delete Unused Error Log Files.";

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The time line as the C library writes it in the C locale, for an independent
// comparison with what the log wrote.
std::string CLocaleTimeLine(std::time_t moment) {
    struct tm local {};
    localtime_r(&moment, &local);
    char text[96];
    std::strftime(text, sizeof text, "%H:%M:%S,  %B %d, %Y", &local);
    return text;
}

// A zone far from UTC, so a log that wrote UTC instead of local time shows.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        hadZone = old != nullptr;
        previous = old != nullptr ? old : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (hadZone) {
            setenv("TZ", previous.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool hadZone = false;
    std::string previous;
};

// Each test starts with a freshly loaded log object: an access-denied refusal
// leaves the object's own switch off for the rest of the process.
class ErrorLogFixture : public ModuleTest {
  protected:
    ErrorLogFixture() { FreshLogObject(); }
    ~ErrorLogFixture() override {
        FreshLogObject();
        headlessMode.store(1);
        SetAutomationRoute(ReportRoute::Console);
    }

    static void FreshLogObject() {
        std::lock_guard guard(errorLogLock);
        errorLog = CErrorLog();
    }

    // A log file of the given length (sparse, so 4 MiB costs nothing).
    void MakeLog(int n, int64_t length) const {
        std::string name = LogName(n);
        testsupport::WriteText(scratch.File(name), "");
        std::filesystem::resize_file(scratch.File(name), static_cast<uintmax_t>(length));
    }
    void MakeAllFull() const {
        for (int n = 1; n <= 4; ++n) {
            MakeLog(n, kLimit);
        }
    }
    static std::string LogName(int n) { return "FlashErrorLog" + std::to_string(n) + ".log"; }
    bool Exists(const std::string& name) const {
        return std::filesystem::exists(scratch.File(name));
    }
    int64_t Length(const std::string& name) const {
        return static_cast<int64_t>(std::filesystem::file_size(scratch.File(name)));
    }
    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(scratch.Path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
};

// Which file receives an entry.
class ErrorLogFileChoiceTest : public ErrorLogFixture {};

TEST_F(ErrorLogFileChoiceTest, FirstEntryCreatesLog1InCurrentDirectory) {
    LogFlashError(10, "first", "ORX_FP_Flash");

    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"FlashErrorLog1.log"});
    EXPECT_NE(Log1().find("ERROR: first\r\n"), std::string::npos);
    EXPECT_EQ(errorLogEnabled.load(), 1);
}

TEST_F(ErrorLogFileChoiceTest, LogAtExactLimitIsSkippedForLog2) {
    MakeLog(1, kLimit);

    LogFlashError(11, "overflow", "ORX_FP_Flash");

    EXPECT_EQ(Length("FlashErrorLog1.log"), kLimit);
    ASSERT_TRUE(Exists("FlashErrorLog2.log"));
    EXPECT_NE(testsupport::ReadText(scratch.File("FlashErrorLog2.log")).find("ERROR: overflow\r\n"),
              std::string::npos);
}

TEST_F(ErrorLogFileChoiceTest, LogOneByteBelowLimitIsUsedAndMayGrowPastIt) {
    MakeLog(1, kLimit - 1);

    LogFlashError(12, "still room", "ORX_FP_Flash");

    EXPECT_GT(Length("FlashErrorLog1.log"), kLimit);
    EXPECT_FALSE(Exists("FlashErrorLog2.log"));
}

TEST_F(ErrorLogFileChoiceTest, EntryIsAppendedAfterExistingContent) {
    testsupport::WriteText(scratch.File("FlashErrorLog1.log"), "earlier entry\r\n");

    LogFlashError(13, "later", "ORX_FP_Flash");

    std::string log = Log1();
    EXPECT_EQ(log.rfind("earlier entry\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("ERROR: later\r\n"), std::string::npos);
}

TEST_F(ErrorLogFileChoiceTest, UnopenableLog1OtherThanDeniedIsPassedOverForLog2) {
    std::filesystem::create_directory(scratch.File("FlashErrorLog1.log"));

    LogFlashError(14, "next file", "ORX_FP_Flash");

    ASSERT_TRUE(Exists("FlashErrorLog2.log"));
    EXPECT_NE(testsupport::ReadText(scratch.File("FlashErrorLog2.log")).find("ERROR: next file"),
              std::string::npos);
    EXPECT_EQ(errorLogEnabled.load(), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ErrorLogFileChoiceTest, CallBeforeLoggingIsEnabledWritesNothing) {
    errorLogEnabled.store(0);

    LogFlashError(15, "too early", "ORX_FP_Flash");

    EXPECT_TRUE(DirectoryEntries().empty());
    EXPECT_TRUE(boxes.Boxes().empty());
}

// The bytes of one entry. The zone is far from UTC so local time is checked.
class ErrorLogEntryLayoutTest : public ErrorLogFixture {
  protected:
    // Logs one entry and checks the file holds exactly it: a time line for a
    // moment during the call, then `body`.
    void ExpectSingleEntry(double line, const char* message, const char* sourceFile,
                           const char* deviceText, const std::string& body) {
        std::time_t before = std::time(nullptr);
        LogFlashError(line, message, sourceFile, deviceText);
        std::time_t after = std::time(nullptr);

        std::string log = Log1();
        size_t end = log.find("\r\n");
        ASSERT_NE(end, std::string::npos) << log;
        std::string timeLine = log.substr(0, end);
        bool matched = false;
        for (std::time_t moment = before; moment <= after; ++moment) {
            matched = matched || timeLine == CLocaleTimeLine(moment);
        }
        EXPECT_TRUE(matched) << "time line \"" << timeLine << "\", expected local time like \""
                             << CLocaleTimeLine(before) << "\"";
        EXPECT_EQ(log.substr(end + 2), body);
    }

    ScopedTimeZone zone{"ORX-13"};
};

TEST_F(ErrorLogEntryLayoutTest, FullEntryIsWrittenByteForByte) {
    ExpectSingleEntry(204, "Erase failed", "ORX_FP_FlashThread", "1005",
                      "Line: 204\r\n"
                      "ERROR: Erase failed\r\n"
                      "File: ORX_FP_FlashThread\r\n"
                      "Device ID: 1005\r\n"
                      "\r\n");
}

TEST_F(ErrorLogEntryLayoutTest, EntryWithoutDeviceTextHasNoDeviceLine) {
    ExpectSingleEntry(57, "Bad checksum", "ORX_FP_FlashFileIO", nullptr,
                      "Line: 57\r\nERROR: Bad checksum\r\nFile: ORX_FP_FlashFileIO\r\n\r\n");
}

TEST_F(ErrorLogEntryLayoutTest, MessageWithoutSourceHasNoFileOrDeviceLine) {
    ExpectSingleEntry(8, "No source", nullptr, "1005", "Line: 8\r\nERROR: No source\r\n\r\n");
}

TEST_F(ErrorLogEntryLayoutTest, EntryWithoutMessageHasOnlyTimeLineAndEmptyLine) {
    ExpectSingleEntry(3000, nullptr, "ORX_FP_Flash", "1005", "Line: 3000\r\n\r\n");
}

TEST_F(ErrorLogEntryLayoutTest, SecondEntryFollowsFirstWhole) {
    LogFlashError(1, "one", "ORX_FP_Flash");
    LogFlashError(2, "two", "ORX_FP_Flash");

    std::vector<std::string> lines = SplitCrLf(Log1());
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 5),
              (std::vector<std::string>{"Line: 1", "ERROR: one", "File: ORX_FP_Flash", ""}));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()),
              (std::vector<std::string>{"Line: 2", "ERROR: two", "File: ORX_FP_Flash", "", ""}));
}

// The time line's text, independent of the process locale.
class ErrorLogTimeLineTest : public ::testing::Test {
  protected:
    static struct tm Moment(int year, int month, int day, int hour, int minute, int second) {
        struct tm moment {};
        moment.tm_year = year - 1900;
        moment.tm_mon = month - 1;
        moment.tm_mday = day;
        moment.tm_hour = hour;
        moment.tm_min = minute;
        moment.tm_sec = second;
        return moment;
    }
};

TEST_F(ErrorLogTimeLineTest, FieldsArePaddedAndCommaIsFollowedByTwoBlanks) {
    EXPECT_EQ(FormatLogTime(Moment(2002, 3, 5, 14, 3, 22)), "14:03:22,  March 05, 2002");
    EXPECT_EQ(FormatLogTime(Moment(2000, 1, 1, 0, 0, 0)), "00:00:00,  January 01, 2000");
}

TEST_F(ErrorLogTimeLineTest, MonthNamesStayEnglishUnderGermanLocale) {
    std::locale previous;
    try {
        previous = std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    struct tm december = Moment(2001, 12, 31, 23, 59, 58);
    char german[64];
    std::strftime(german, sizeof german, "%B", &december);
    std::string line = FormatLogTime(december);
    std::string may = FormatLogTime(Moment(2024, 5, 9, 8, 7, 6));
    std::locale::global(previous);

    EXPECT_EQ(std::string(german), "Dezember");  // the locale really is in force
    EXPECT_EQ(line, "23:59:58,  December 31, 2001");
    EXPECT_EQ(may, "08:07:06,  May 09, 2024");
}

// Switching itself off, and where the log's own failure is reported.
class ErrorLogSwitchOffTest : public ErrorLogFixture {};

TEST_F(ErrorLogSwitchOffTest, AllFourFullIsReportedOnceWhenWritersRace) {
    MakeAllFull();
    SetAutomationRoute(ReportRoute::PerDevice);
    for (int round = 0; round < 50; ++round) {
        errorLogEnabled.store(1);
        size_t before = boxes.Boxes().size();
        std::barrier start(8);
        std::vector<std::thread> writers;
        for (int t = 0; t < 8; ++t) {
            writers.emplace_back([&start] {
                start.arrive_and_wait();
                LogFlashError(40, "lost", "ORX_FP_Flash");
            });
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
        ASSERT_EQ(boxes.Boxes().size() - before, 1u) << "round " << round;
    }
}

TEST_F(ErrorLogFileChoiceTest, PipeUnderALogNameIsPassedOverNotWaitedOn) {
    ASSERT_EQ(mkfifo("FlashErrorLog1.log", 0644), 0);
    LogFlashError(12, "after the pipe", "ORX_FP_Flash");
    EXPECT_NE(testsupport::ReadText(scratch.File("FlashErrorLog2.log")).find("after the pipe"),
              std::string::npos);
}

// A link under a log file's name, planted in a shared folder, is passed over
// like the pipe: the file it names is neither written nor created.
TEST_F(ErrorLogFileChoiceTest, LinkUnderALogNameIsPassedOverNotFollowed) {
    testsupport::WriteText(scratch.File("victim.txt"), "keep");
    ASSERT_EQ(symlink("victim.txt", "FlashErrorLog1.log"), 0);
    ASSERT_EQ(symlink("made-by-the-log.txt", "FlashErrorLog2.log"), 0);

    LogFlashError(12, "past the links", "ORX_FP_Flash");

    EXPECT_EQ(testsupport::ReadText(scratch.File("victim.txt")), "keep");
    EXPECT_FALSE(Exists("made-by-the-log.txt"));
    EXPECT_NE(testsupport::ReadText(scratch.File("FlashErrorLog3.log")).find("past the links"),
              std::string::npos);
}

TEST_F(ErrorLogSwitchOffTest, AllFourFullReportsOnceOnConsoleWhenHeadless) {
    MakeAllFull();

    testsupport::RecordingConsole console;
    LogFlashError(20, "lost", "ORX_FP_Flash");
    LogFlashError(21, "lost too", "ORX_FP_Flash");
    std::string output = console.Output();

    EXPECT_EQ(output, kAllFullReport + "\n");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(errorLogEnabled.load(), 0);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(Length(LogName(n)), kLimit) << LogName(n);
    }
    EXPECT_FALSE(Exists("FlashErrorLog5.log"));
}

TEST_F(ErrorLogSwitchOffTest, AllFourFullShowsOneStopBoxInDeviceMode) {
    MakeAllFull();
    SetAutomationRoute(ReportRoute::PerDevice);

    testsupport::RecordingConsole console;
    LogFlashError(22, "lost", "ORX_FP_Flash");
    LogFlashError(23, "lost too", "ORX_FP_Flash");
    std::string output = console.Output();

    EXPECT_EQ(output, "");
    std::vector<platform::BoxRequest> shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, kAllFullReport);
    EXPECT_EQ(shown[0].icon, platform::BoxIcon::Stop);
    EXPECT_EQ(shown[0].buttons, platform::BoxButtons::Ok);
    EXPECT_TRUE(shown[0].systemModal);
}

// On a job's worker the job's own route decides, whatever export came last.
TEST_F(ErrorLogSwitchOffTest, AllFourFullIsReportedOnTheRouteOfTheJobThatLogged) {
    for (ReportRoute jobRoute : {ReportRoute::Console, ReportRoute::PerDevice}) {
        const bool console = jobRoute == ReportRoute::Console;
        SCOPED_TRACE(console);
        FreshLogObject();
        errorLogEnabled.store(1);
        MakeAllFull();
        SetAutomationRoute(console ? ReportRoute::PerDevice : ReportRoute::Console);
        testsupport::RecordingConsole printed;
        size_t boxed = boxes.Boxes().size();
        const JobContext job(jobRoute, 4);
        const JobContextBinding bound(job);
        LogFlashError(26, "lost", "ORX_FP_Flash");
        EXPECT_EQ(printed.Lines(),
                  console ? std::vector<std::string>{kAllFullReport} : std::vector<std::string>{});
        EXPECT_EQ(boxes.Boxes().size() - boxed, console ? 0u : 1u);
    }
}

TEST_F(ErrorLogSwitchOffTest, AllFourFullShowsOneStopBoxWithDialog) {
    MakeAllFull();
    headlessMode.store(0);

    testsupport::RecordingConsole console;
    LogFlashError(24, "lost", "ORX_FP_Flash");
    LogFlashError(25, "lost too", "ORX_FP_Flash");
    std::string output = console.Output();

    EXPECT_EQ(output, "");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kAllFullReport});
    EXPECT_EQ(boxes.Boxes().at(0).icon, platform::BoxIcon::Stop);
}

TEST_F(ErrorLogSwitchOffTest, ReportBoxIsShownAfterLogLockIsReleased) {
    MakeAllFull();
    SetAutomationRoute(ReportRoute::PerDevice);
    std::atomic<int> shown{0};
    std::atomic<bool> lockWasFree{false};
    // Another thread tries the lock while the box is up, as a second writer would.
    platform::BoxHandler previous =
        platform::SetMessageBoxHandler([&](const platform::BoxRequest&) {
            ++shown;
            std::thread other([&] {
                if (errorLogLock.try_lock()) {
                    lockWasFree = true;
                    errorLogLock.unlock();
                }
            });
            other.join();
            return platform::BoxAnswer::Ok;
        });

    LogFlashError(26, "lost", "ORX_FP_Flash");
    platform::SetMessageBoxHandler(previous);

    EXPECT_EQ(shown.load(), 1);
    EXPECT_TRUE(lockWasFree.load());
}

TEST_F(ErrorLogSwitchOffTest, LoggingResumesWhenEnabledAgainAfterFilesAreFreed) {
    MakeAllFull();
    testing::internal::CaptureStdout();
    LogFlashError(27, "lost", "ORX_FP_Flash");
    testing::internal::GetCapturedStdout();
    std::filesystem::remove(scratch.File("FlashErrorLog3.log"));

    errorLogEnabled.store(1);
    LogFlashError(28, "kept", "ORX_FP_Flash");

    ASSERT_TRUE(Exists("FlashErrorLog3.log"));
    EXPECT_NE(testsupport::ReadText(scratch.File("FlashErrorLog3.log")).find("ERROR: kept\r\n"),
              std::string::npos);
    EXPECT_EQ(errorLogEnabled.load(), 1);
}

// Every open of a log file refused with EACCES, as a folder the user may not
// write refuses it, whoever runs the test; open(2) comes back at the end.
class ScopedAccessDenied {
  public:
    ScopedAccessDenied() {
        SetErrorLogOpen([](const char*, int, mode_t) {
            errno = EACCES;
            return -1;
        });
    }
    ~ScopedAccessDenied() { SetErrorLogOpen(nullptr); }
    ScopedAccessDenied(const ScopedAccessDenied&) = delete;
    ScopedAccessDenied& operator=(const ScopedAccessDenied&) = delete;
};

TEST_F(ErrorLogSwitchOffTest, AccessDeniedSwitchesLogOffSilentlyForGood) {
    std::string output;
    {
        ScopedAccessDenied denied;
        testing::internal::CaptureStdout();
        LogFlashError(30, "denied", "ORX_FP_Flash");
        output = testing::internal::GetCapturedStdout();
    }

    EXPECT_EQ(output, "");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(errorLogEnabled.load(), 0);

    // Once refused, the log object stays off even when logging is enabled again
    // and the files can be opened.
    errorLogEnabled.store(1);
    testing::internal::CaptureStdout();
    LogFlashError(31, "still denied", "ORX_FP_Flash");
    output = testing::internal::GetCapturedStdout();

    EXPECT_EQ(output, "");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(DirectoryEntries().empty());
    EXPECT_EQ(errorLogEnabled.load(), 0);
}

// Entries written from many threads at once.
class ErrorLogConcurrencyTest : public ErrorLogFixture {};

TEST_F(ErrorLogConcurrencyTest, EntriesFromEightThreadsNeverInterleave) {
    constexpr int kThreads = 8;
    constexpr int kEntries = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kEntries; ++i) {
                std::string message = "worker " + std::to_string(t) + " entry " + std::to_string(i);
                LogFlashError(t * 1000 + i, message.c_str(), "ORX_FP_FlashThread");
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }

    const std::regex timeLine(
        R"(\d{2}:\d{2}:\d{2},  (January|February|March|April|May|June|July|August|September|)"
        R"(October|November|December) \d{2}, \d{4})");
    const std::regex errorLine(R"(ERROR: worker (\d+) entry (\d+))");
    std::vector<std::string> lines = SplitCrLf(Log1());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEntries * 5 + 1));
    EXPECT_EQ(lines.back(), "");
    std::vector<int> next(kThreads, 0);
    for (size_t at = 0; at + 5 <= lines.size(); at += 5) {
        ASSERT_TRUE(std::regex_match(lines[at], timeLine)) << "line " << at << ": " << lines[at];
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(lines[at + 2], parts, errorLine))
            << "line " << at + 2 << ": " << lines[at + 2];
        int t = std::stoi(parts[1]);
        int i = std::stoi(parts[2]);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(lines[at + 1], "Line: " + std::to_string(t * 1000 + i)) << "line " << at + 1;
        EXPECT_EQ(lines[at + 3], "File: ORX_FP_FlashThread") << "line " << at + 3;
        EXPECT_EQ(lines[at + 4], "") << "line " << at + 4;
        EXPECT_EQ(i, next[t]) << "worker " << t << "'s entries out of order";
        next[t] = i + 1;
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kEntries));
}

}  // namespace
