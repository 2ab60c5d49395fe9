// Buffered line reading over the superfile for the S-record walk. A line keeps
// its line end; a line longer than the longest line read at once is split and
// its rest comes back as the next line.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/File.h"

namespace shx {

class LineReader {
  public:
    // Longest line returned at once: the longest valid S-record (byte count
    // 0xFF, 514 characters) with its line end fits with room to spare.
    static constexpr size_t kMaxLine = 1024;

    LineReader();
    // Reads from fd starting at offset; the descriptor stays the caller's.
    void Reset(int fd, uint64_t offset);
    // The next line, or false at the end of the file or on a read error.
    bool Next(std::string_view& line);
    // Offset in the file of the first byte not yet returned.
    uint64_t Position() const { return position; }
    bool Failed() const { return failed; }

  private:
    bool Fill();
    char* Bytes() { return reinterpret_cast<char*>(buffer->data()); }

    int fd = -1;
    uint64_t position = 0;
    uint64_t readAt = 0;  // file offset of the next read
    std::unique_ptr<platform::AlignedBuffer> buffer;
    size_t begin = 0;
    size_t end = 0;
    bool atEnd = false;
    bool failed = false;
};

// The length of the line at the front of `available` bytes, its line end
// included: up to the first '\n', or kMaxLine bytes of an overlong line, or
// (atEnd) whatever is left. 0 when more bytes are needed, or none are left.
size_t LineLength(const char* start, size_t available, bool atEnd);
// The next line of text held in memory, with the same splitting as the file
// reader; `rest` moves past it. False when nothing is left.
bool NextLine(std::string_view& rest, std::string_view& line);

}  // namespace shx
