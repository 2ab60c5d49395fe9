#include "ErrorLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashOutcome.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

CErrorLog errorLog;
std::atomic<int> errorLogEnabled{0};
std::mutex errorLogLock;

namespace {

const char* const kMonths[12] = {"January",   "February", "March",    "April",
                                 "May",       "June",     "July",     "August",
                                 "September", "October",  "November", "December"};

// Log files are never opened through a symbolic link: one planted in a shared
// folder would have the entries land in whatever file it names. Non-blocking,
// so that a pipe under a log file's name cannot hang every writer.
constexpr int kLogOpenFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;

int OpenLogFile(const char* path, int flags, mode_t mode) {
    return open(path, flags, mode);
}

std::atomic<ErrorLogOpenFunction> logOpen{OpenLogFile};

bool IsRegular(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// A regular file below the size limit. Anything else (a directory, a pipe)
// is never written to.
bool HasRoom(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size < kErrorLogLimit;
}

// The log file opened for appending, or null when it is not a regular file
// (anymore) or cannot be opened.
std::FILE* OpenForAppending(const std::string& name) {
    int fd = logOpen.load()(name.c_str(), kLogOpenFlags | O_APPEND, 0);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = IsRegular(fd) ? fdopen(fd, "ab") : nullptr;
    if (stream == nullptr) {
        close(fd);
    }
    return stream;
}

}  // namespace

void SetErrorLogOpen(ErrorLogOpenFunction open) {
    logOpen.store(open != nullptr ? open : OpenLogFile);
}

std::string FormatLogTime(const struct tm& time) {
    char text[96];
    int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d,  %s %02d, %d", time.tm_hour, time.tm_min,
                  time.tm_sec, kMonths[month], time.tm_mday, time.tm_year + 1900);
    return text;
}

int CErrorLog::FindLogFile() {
    for (int n = 1; n <= kErrorLogFiles; ++n) {
        logFileName = "FlashErrorLog" + std::to_string(n) + ".log";
        int fd = logOpen.load()(logFileName.c_str(), kLogOpenFlags, 0);
        if (fd < 0 && errno != ENXIO && errno != ELOOP) {
            fd = logOpen.load()(logFileName.c_str(), kLogOpenFlags | O_CREAT, 0644);
        }
        if (fd >= 0) {
            bool room = HasRoom(fd);
            close(fd);
            if (room) {
                return 1;
            }
            continue;
        }
        if (errno == EACCES || errno == EPERM) {
            enabled = 0;
            return 0;
        }
    }
    return 0;
}

int CErrorLog::Open(int headless, ReportRoute callerRoute) {
    pendingReport.clear();
    reportToConsole = headless != 0 && callerRoute != ReportRoute::PerDevice;
    if (enabled != 1) {
        return 0;
    }
    if (FindLogFile() == 1) {
        // Binary mode: line ends are written as CR LF by WriteEntry itself.
        stream = OpenForAppending(logFileName);
        if (stream == nullptr) {
            pendingReport = "Failed Creating Error Log File " + logFileName + ".";
            return 0;
        }
    } else if (enabled == 1) {
        pendingReport = "Failed to Create Error Log File " + logFileName +
                        ".  Please Delete Unused Error Log Files.";
        return 0;
    }
    return enabled == 1 ? 1 : 0;
}

void CErrorLog::WriteEntry(double line, const char* message, const char* sourceFile,
                           const char* deviceText) {
    std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::string entry = FormatLogTime(local) + "\r\n";
    char number[64];
    std::snprintf(number, sizeof number, "%.0f", line);
    entry += "Line: ";
    entry += number;
    entry += "\r\n";
    if (message != nullptr) {
        entry += "ERROR: " + std::string(message) + "\r\n";
        if (sourceFile != nullptr) {
            entry += "File: " + std::string(sourceFile) + "\r\n";
            if (deviceText != nullptr) {
                entry += "Device ID: " + std::string(deviceText) + "\r\n";
            }
        }
    }
    entry += "\r\n";
    if (stream != nullptr && !std::ferror(stream)) {
        std::fwrite(entry.data(), 1, entry.size(), stream);
    }
}

void CErrorLog::Close() {
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
}

std::string CErrorLog::TakePendingReport() {
    std::string report;
    std::swap(report, pendingReport);
    return report;
}

void LogFlashError(double line, const char* message, const char* sourceFile,
                   const char* deviceText) {
    RecordThreadFailure({ORX_RESULT_JOB_FAILED, 0, message != nullptr ? message : ""});
    if (errorLogEnabled.load() != 1) {
        return;
    }
    // The route and sink of the job this thread runs, or of a caller that is none.
    const JobContext caller = CallerContext();
    std::string report;
    bool toConsole = false;
    {
        std::lock_guard guard(errorLogLock);
        // Writers that waited here while another switched the log off stop
        // now, so the log's own failure is reported once.
        if (errorLogEnabled.load() != 1) {
            return;
        }
        if (errorLog.Open(headlessMode.load(), caller.Route()) == 1) {
            errorLog.WriteEntry(line, message, sourceFile, deviceText);
            errorLog.Close();
        } else {
            errorLogEnabled.store(0);
            report = errorLog.TakePendingReport();
            toConsole = errorLog.ReportToConsole();
        }
    }
    // Shown after the lock is released, so one box never holds up other threads.
    if (!report.empty()) {
        if (toConsole) {
            caller.Sink().Line(report);
        } else {
            platform::ShowStopBox(report);
        }
    }
}
