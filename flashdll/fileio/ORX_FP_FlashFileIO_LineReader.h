// Buffered line reading over the superfile for the S-record walk. A line keeps
// its line end; a line longer than the longest line read at once is split and
// its rest comes back as the next line (LineLength in SRecordDecode.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "SRecordDecode.h"
#include "platform/File.h"

namespace shx {

class LineReader {
  public:
    static constexpr size_t kMaxLine = shx::kMaxLine;

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

}  // namespace shx
