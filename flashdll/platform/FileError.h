// Causes of failed file operations, numbered as the module's file-error messages
// expect them, and the mapping from the operating system's error numbers.
#pragma once

namespace platform {

enum FileErrorCause : int {
    kFileErrorNone = 0,
    kFileErrorGeneric = 1,
    kFileNotFound = 2,
    kBadPath = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kInvalidFile = 6,
    kRemoveCurrentDir = 7,
    kDirectoryFull = 8,
    kBadSeek = 9,
    kHardIO = 10,
    kSharingViolation = 11,
    kLockViolation = 12,
    kDiskFull = 13,
    kEndOfFile = 14,
};

// The cause for an errno value (0 gives kFileErrorNone, unknown values
// kFileErrorGeneric).
int FileErrorCauseFromErrno(int errorNumber);

}  // namespace platform
