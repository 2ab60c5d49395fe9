#include "SRecordText.h"

#include <array>
#include <cstring>
#include <stdexcept>

namespace mkshx {

namespace {

// Two upper-case hex characters per byte value, so a byte costs one lookup.
const std::array<char, 512>& HexPairs() {
    static const std::array<char, 512> table = [] {
        std::array<char, 512> t{};
        const char* digits = "0123456789ABCDEF";
        for (int i = 0; i < 256; ++i) {
            t[2 * i] = digits[i >> 4];
            t[2 * i + 1] = digits[i & 15];
        }
        return t;
    }();
    return table;
}

}  // namespace

// fields = address bytes then data bytes; count byte and checksum are added.
void SRecordWriter::Record(char type, const uint8_t* fields, size_t count, bool lineEnd) {
    if (count + 1 > 255) {
        throw std::logic_error("S-record too long");
    }
    const auto& hex = HexPairs();
    char line[2 + 2 * 256 + 2];
    size_t n = 0;
    line[n++] = 'S';
    line[n++] = type;
    auto put = [&](uint8_t byte) {
        line[n++] = hex[2 * byte];
        line[n++] = hex[2 * byte + 1];
    };
    uint8_t countByte = static_cast<uint8_t>(count + 1);
    unsigned sum = countByte;
    put(countByte);
    for (size_t i = 0; i < count; ++i) {
        sum += fields[i];
        put(fields[i]);
    }
    put(static_cast<uint8_t>(~sum));
    if (lineEnd) {
        line[n++] = '\r';
        line[n++] = '\n';
    }
    out.insert(out.end(), line, line + n);
}

void SRecordWriter::Header(const std::string& name) {
    std::vector<uint8_t> fields(2, 0);
    fields.insert(fields.end(), name.begin(), name.end());
    Record('0', fields.data(), fields.size(), true);
}

void SRecordWriter::Data(uint32_t address, const uint8_t* data, size_t size) {
    uint8_t fields[4 + 250];
    if (size == 0 || size > 250) {
        throw std::logic_error("S3 record must carry 1 to 250 bytes");
    }
    fields[0] = static_cast<uint8_t>(address >> 24);
    fields[1] = static_cast<uint8_t>(address >> 16);
    fields[2] = static_cast<uint8_t>(address >> 8);
    fields[3] = static_cast<uint8_t>(address);
    std::memcpy(fields + 4, data, size);
    Record('3', fields, 4 + size, true);
}

void SRecordWriter::EndRecord() {
    const uint8_t address[4] = {0, 0, 0, 0};
    Record('7', address, 4, false);
}

void SRecordWriter::Text(const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace mkshx
