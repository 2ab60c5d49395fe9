#include "platform/FileError.h"

#include <cerrno>

namespace platform {

int FileErrorCauseFromErrno(int errorNumber) {
    switch (errorNumber) {
        case 0:
            return kFileErrorNone;
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EXDEV:
            return kBadPath;
        case EMFILE:
        case ENFILE:
            return kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kAccessDenied;
        case EBADF:
            return kInvalidFile;
        case EBUSY:
            return kRemoveCurrentDir;
        case EMLINK:
            return kDirectoryFull;
        case ESPIPE:
        case EOVERFLOW:
            return kBadSeek;
        case EIO:
        case ENXIO:
            return kHardIO;
        case ETXTBSY:
        case EWOULDBLOCK:
            return kSharingViolation;
        case EDEADLK:
        case ENOLCK:
            return kLockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kDiskFull;
        default:
            return kFileErrorGeneric;
    }
}

}  // namespace platform
