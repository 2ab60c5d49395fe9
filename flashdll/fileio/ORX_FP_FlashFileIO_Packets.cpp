// Packets read from an image file for the engine: a data packet carries a
// 2-byte big-endian length, the bytes and their 8-bit sum; a tail packet
// carries 0, 8, eight bytes and the sum of the first ten.
#include "ORX_FP_FlashFileIO.h"

namespace {
constexpr const char* kReadFailed = "An error occurred while reading Image File.";

bool ReadFully(int fd, uint8_t* into, size_t n) {
    while (n > 0) {
        long got = platform::ReadSome(fd, into, n);
        if (got <= 0) {
            return false;
        }
        into += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}
}  // namespace

int CFlashFileIO::ReadImagePacket(int fd, std::span<uint8_t> buffer, size_t n) {
    if (n > 0xFFFF || buffer.size() < n + 3 || !ReadFully(fd, buffer.data() + 2, n)) {
        ReportError(kReadFailed, __LINE__);
        return 0;
    }
    buffer[0] = static_cast<uint8_t>(n >> 8);
    buffer[1] = static_cast<uint8_t>(n);
    buffer[n + 2] = Sum8(buffer.data(), n + 2);
    return 1;
}

int CFlashFileIO::ReadImageTailPacket(int fd, std::span<uint8_t> buffer, size_t have, size_t n) {
    if (buffer.size() < 11 || have + n > 8 || !ReadFully(fd, buffer.data() + 2 + have, n)) {
        ReportError(kReadFailed, __LINE__);
        return 0;
    }
    buffer[0] = 0;
    buffer[1] = 8;
    buffer[10] = Sum8(buffer.data(), 10);
    return 1;
}
