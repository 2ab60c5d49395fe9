// Decoding S-record lines of the superfile body into the current record
// fields. Lenient on purpose: neither the leading S nor the record checksum is
// checked; which types are acceptable is the converter's decision.
#include <fcntl.h>

#include "ORX_FP_FlashFileIO.h"
#include "platform/FileError.h"

namespace {

// Value of each character as a hex digit, or -1.
struct HexTable {
    int8_t value[256];
    constexpr HexTable() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                       : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                       : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                              : static_cast<int8_t>(-1);
        }
    }
};
constexpr HexTable kHex;

// The field rule, quick for the common case of width hex digits in a row.
uint32_t HexField(std::string_view line, size_t offset, size_t width) {
    if (offset + width <= line.size() && width <= 8) {
        uint32_t value = 0;
        size_t i = 0;
        for (; i < width; ++i) {
            int8_t digit = kHex.value[static_cast<unsigned char>(line[offset + i])];
            if (digit < 0) {
                break;
            }
            value = (value << 4) | static_cast<uint32_t>(digit);
        }
        if (i == width) {
            return value;
        }
    }
    return shx::ParseHexField(line, offset, width);
}

struct Layout {
    size_t addressWidth;  // hex digits; 0 for types without an address layout
    size_t dataColumn;
    int overhead;  // byte-count bytes that are not data
};

Layout LayoutOf(int type) {
    switch (type) {
        case 0:
        case 1:
        case 5:
        case 9:
            return {4, 8, 3};
        case 2:
        case 8:
            return {6, 10, 4};
        case 3:
        case 7:
            return {8, 12, 5};
        default:
            return {0, 0, 0};
    }
}

}  // namespace

int CFlashFileIO::OpenSuperfileStream(uint64_t offset) {
    int error = 0;
    superfileStream = platform::OpenRegularForReading(superfilePath, error);
    if (!superfileStream.Valid()) {
        ReportFileException(platform::FileErrorCauseFromErrno(error));
        return 0;
    }
    posix_fadvise(superfileStream.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    lineReader.Reset(superfileStream.Get(), offset);
    return 1;
}

int CFlashFileIO::ReadSRecord() {
    std::string_view line;
    if (!superfileStream.Valid() || !lineReader.Next(line)) {
        return 0;
    }
    srec.type = static_cast<int>(HexField(line, 1, 1));
    srec.byteCount = static_cast<int>(HexField(line, 2, 2));
    Layout layout = LayoutOf(srec.type);
    if (layout.addressWidth == 0) {
        srec.address = 0;
        ReportError("Error getting address from S Record.", __LINE__);
        srec.dataLength = 0;
        ReportError("Error getting Data from S Record.", __LINE__);
        return 1;
    }
    srec.address = HexField(line, 4, layout.addressWidth);
    int count = srec.byteCount - layout.overhead;
    srec.dataLength = count > 0 ? count : 0;
    for (int i = 0; i < srec.dataLength; ++i) {
        srec.data[static_cast<size_t>(i)] =
            static_cast<uint8_t>(HexField(line, layout.dataColumn + 2 * static_cast<size_t>(i), 2));
    }
    return 1;
}
