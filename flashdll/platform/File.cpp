#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int UniqueFd::Release() {
    int released = fd;
    fd = -1;
    return released;
}

void UniqueFd::Reset(int newFd) {
    if (fd >= 0) {
        close(fd);
    }
    fd = newFd;
}

namespace {

// Refuses what is not a regular file and makes the descriptor blocking again.
UniqueFd KeepRegular(UniqueFd file, int& errorNumber) {
    if (!file.Valid()) {
        errorNumber = errno;
        return file;
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) {
        errorNumber = errno;
        return UniqueFd();
    }
    if (!S_ISREG(info.st_mode)) {
        errorNumber = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
        return UniqueFd();
    }
    int flags = fcntl(file.Get(), F_GETFL);
    if (flags >= 0) {
        fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    errorNumber = 0;
    return file;
}

}  // namespace

UniqueFd OpenRegularForReading(const std::string& path, int& errorNumber) {
    // Non-blocking so that a pipe named as a file cannot hang the open.
    return KeepRegular(UniqueFd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)),
                       errorNumber);
}

UniqueFd OpenRegularForWriting(const std::string& path, int& errorNumber) {
    // A link planted under the name would have the write land wherever it points.
    return KeepRegular(
        UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644)),
        errorNumber);
}

UniqueFd CreateForWriting(const std::string& path, int& errorNumber) {
    UniqueFd file = OpenRegularForWriting(path, errorNumber);
    if (file.Valid() && ftruncate(file.Get(), 0) != 0) {
        errorNumber = errno;
        return UniqueFd();
    }
    return file;
}

int64_t FileLength(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t count) {
    auto* out = static_cast<char*>(buffer);
    while (count > 0) {
        ssize_t got = pread(fd, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<uint64_t>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

long ReadSome(int fd, void* buffer, size_t count) {
    for (;;) {
        ssize_t got = read(fd, buffer, count);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(got);
    }
}

bool WriteAll(int fd, const void* buffer, size_t count) {
    auto* in = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t put = write(fd, in, count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        in += put;
        count -= static_cast<size_t>(put);
    }
    return true;
}

bool WriteAt(int fd, uint64_t offset, const void* buffer, uint64_t count) {
    auto* in = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t put = pwrite(fd, in, count, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            return false;
        }
        in += put;
        offset += static_cast<uint64_t>(put);
        count -= static_cast<uint64_t>(put);
    }
    return true;
}

}  // namespace platform
