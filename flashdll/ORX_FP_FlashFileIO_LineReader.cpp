#include "ORX_FP_FlashFileIO_LineReader.h"

#include <unistd.h>

#include <cstring>

#include "platform/File.h"

namespace shx {

namespace {
constexpr size_t kBufferSize = 1 << 20;
}

LineReader::LineReader() = default;

void LineReader::Reset(int newFd, uint64_t offset) {
    fd = newFd;
    buffer.resize(kBufferSize);
    position = offset;
    begin = end = 0;
    atEnd = failed = false;
    if (fd >= 0 && lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        failed = atEnd = true;
    }
}

bool LineReader::Fill() {
    if (atEnd) {
        return false;
    }
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    long got = platform::ReadSome(fd, buffer.data() + end, buffer.size() - end);
    if (got <= 0) {
        atEnd = true;
        failed = got < 0;
        return false;
    }
    end += static_cast<size_t>(got);
    return true;
}

bool LineReader::Next(std::string_view& line) {
    for (;;) {
        size_t available = end - begin;
        size_t window = available < kMaxLine ? available : kMaxLine;
        const char* start = buffer.data() + begin;
        const void* newline = std::memchr(start, '\n', window);
        size_t length = 0;
        if (newline != nullptr) {
            length = static_cast<size_t>(static_cast<const char*>(newline) - start) + 1;
        } else if (available >= kMaxLine || (atEnd && available > 0)) {
            length = window;  // an overlong line, or the last line without a line end
        } else if (Fill()) {
            continue;
        } else if (end > begin) {
            continue;  // the end was reached; return what is left
        } else {
            return false;
        }
        line = std::string_view(start, length);
        begin += length;
        position += length;
        return true;
    }
}

}  // namespace shx
