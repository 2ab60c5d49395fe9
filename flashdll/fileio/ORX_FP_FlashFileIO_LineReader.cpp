#include "ORX_FP_FlashFileIO_LineReader.h"

#include <unistd.h>

#include <cstring>

namespace shx {

namespace {
// Fresh data always lands at an aligned place in the buffer, after room for
// the unfinished line it continues, and file reads after the first start on
// page boundaries: the kernel's copy into a misaligned destination is
// markedly slower.
constexpr size_t kAlign = platform::AlignedBuffer::kAlignment;
constexpr size_t kCarry = kAlign;  // holds an unfinished line, shorter than kMaxLine
constexpr size_t kBufferSize = 128 << 10;
static_assert(LineReader::kMaxLine <= kCarry);
}  // namespace

LineReader::LineReader() = default;

void LineReader::Reset(int newFd, uint64_t offset) {
    fd = newFd;
    if (!buffer) {
        buffer = std::make_unique<platform::AlignedBuffer>(kCarry + kBufferSize);
    }
    position = offset;
    readAt = offset;
    begin = end = kCarry;
    atEnd = failed = false;
    if (fd >= 0 && lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        failed = atEnd = true;
    }
}

bool LineReader::Fill() {
    if (atEnd) {
        return false;
    }
    // Only called with less than kMaxLine bytes left and no line end in them.
    size_t left = end - begin;
    std::memmove(Bytes() + kCarry - left, Bytes() + begin, left);
    begin = kCarry - left;
    end = kCarry;
    size_t want = kBufferSize - static_cast<size_t>(readAt % kAlign);
    long got = platform::ReadSome(fd, Bytes() + end, want);
    if (got <= 0) {
        atEnd = true;
        failed = got < 0;
        return false;
    }
    end += static_cast<size_t>(got);
    readAt += static_cast<uint64_t>(got);
    return true;
}

bool LineReader::Next(std::string_view& line) {
    if (!buffer) {
        return false;  // never reset onto a file
    }
    for (;;) {
        const char* start = Bytes() + begin;
        size_t length = LineLength(start, end - begin, atEnd);
        if (length == 0) {
            if (Fill() || end > begin) {
                continue;  // more bytes, or the end was reached with some left
            }
            return false;
        }
        line = std::string_view(start, length);
        begin += length;
        position += length;
        return true;
    }
}

}  // namespace shx
