// Thin POSIX file helpers: an owning descriptor, opening regular files only
// (a directory, device or pipe named as a file is refused, never read), and
// whole reads and writes that survive short transfers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

namespace platform {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }
    int Release();
    void Reset(int newFd = -1);

  private:
    int fd = -1;
};

// A page-aligned read buffer: the kernel copies file data into an aligned
// destination markedly faster than into one a few bytes off.
class AlignedBuffer {
  public:
    static constexpr size_t kAlignment = 4096;
    explicit AlignedBuffer(size_t size)
        : bytes(new (std::align_val_t(kAlignment)) uint8_t[size]), length(size) {}
    uint8_t* data() { return bytes.get(); }
    const uint8_t* data() const { return bytes.get(); }
    size_t size() const { return length; }

  private:
    struct Free {
        void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(kAlignment)); }
    };
    std::unique_ptr<uint8_t[], Free> bytes;
    size_t length;
};

// Opens an existing regular file for reading. On failure returns an invalid
// descriptor and sets errorNumber (EISDIR or ENODEV for what is not a file).
UniqueFd OpenRegularForReading(const std::string& path, int& errorNumber);
// Opens or creates a regular file for reading and writing, never through a
// symbolic link (ELOOP) and never anything but a regular file (EISDIR,
// ENODEV); the content is left as it was.
UniqueFd OpenRegularForWriting(const std::string& path, int& errorNumber);
// The same, emptied.
UniqueFd CreateForWriting(const std::string& path, int& errorNumber);

// The length of an open file, or -1.
int64_t FileLength(int fd);
// Reads exactly count bytes at offset; false on error or end of file.
bool ReadAt(int fd, uint64_t offset, void* buffer, size_t count);
// Reads up to count bytes from the current position; -1 on error.
long ReadSome(int fd, void* buffer, size_t count);
// Writes all count bytes at the current position.
bool WriteAll(int fd, const void* buffer, size_t count);
// Writes all count bytes at offset; errno tells why when it fails.
bool WriteAt(int fd, uint64_t offset, const void* buffer, uint64_t count);

}  // namespace platform
