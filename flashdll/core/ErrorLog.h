// The rotating error log: every error the module meets is appended, with the
// time and the source file and line that raised it, to FlashErrorLog1.log to
// FlashErrorLog4.log in the current directory.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include <sys/types.h>

#include "ORX_FP_FlashJobContext.h"

inline constexpr int kErrorLogFiles = 4;
inline constexpr int64_t kErrorLogLimit = 4194304;  // a file this size or larger is full

class CErrorLog {
  public:
    // 1 when the stream is ready for one entry. A failure that must be shown is
    // left in PendingReport(), for the caller to show once the log lock is free:
    // on the console when headless and the caller's route is not per-device,
    // otherwise in a box.
    int Open(int headless, ReportRoute callerRoute);
    void WriteEntry(double line, const char* message, const char* sourceFile,
                    const char* deviceText);
    void Close();
    // 1 when a log file with room was found (or created).
    int FindLogFile();

    const std::string& FileName() const { return logFileName; }
    // Takes the report left by the last Open (empty when none).
    std::string TakePendingReport();
    bool ReportToConsole() const { return reportToConsole; }

  private:
    std::string logFileName;
    std::FILE* stream = nullptr;
    int enabled = 1;
    std::string pendingReport;
    bool reportToConsole = false;
};

extern CErrorLog errorLog;
extern std::atomic<int> errorLogEnabled;
// Created with the module, so re-initialising never touches a lock in use.
extern std::mutex errorLogLock;

// Appends one entry. Each argument but the line may be null. Never fails
// towards the caller.
void LogFlashError(double line, const char* message, const char* sourceFile,
                   const char* deviceText = nullptr);

inline void LogFlashError(double line, const std::string& message, const char* sourceFile) {
    LogFlashError(line, message.c_str(), sourceFile, nullptr);
}

// How the log opens its files: open(2) unless replaced. Tests install one that
// refuses, to meet an access-denied folder even where permission bits do not
// stop the user (root). Null restores open(2).
using ErrorLogOpenFunction = int (*)(const char* path, int flags, mode_t mode);
void SetErrorLogOpen(ErrorLogOpenFunction open);

// The time line of an entry, "%H:%M:%S,  %B %d, %Y" with English month names
// whatever the process locale.
std::string FormatLogTime(const struct tm& time);
