// Appends S-record lines (upper-case hex, "\r\n" line ends) to a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mkshx {

class SRecordWriter {
  public:
    explicit SRecordWriter(std::vector<uint8_t>& out) : out(out) {}

    // S0 with address 0 and the name's ASCII bytes as data.
    void Header(const std::string& name);
    // S3: four address bytes, 1 to 250 data bytes.
    void Data(uint32_t address, const uint8_t* data, size_t size);
    // S7 with address 0, WITHOUT its line end: the trailer may follow on the
    // same line.
    void EndRecord();
    void Text(const std::string& text);
    void LineEnd() { Text("\r\n"); }

    static size_t DataLineLength(size_t size) { return 16 + 2 * size; }

  private:
    void Record(char type, const uint8_t* fields, size_t count, bool lineEnd);

    std::vector<uint8_t>& out;
};

}  // namespace mkshx
