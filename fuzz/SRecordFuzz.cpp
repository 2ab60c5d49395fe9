// Fuzz target for the S-record decoding of the superfile body, in memory.
// Input: body text. Each line is split as the file reader splits it and
// decoded twice, by the reader's fast paths and by the field rule alone,
// which must agree; the trailer's checksum marker is looked for as well.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "SRecordDecode.h"
#include "SuperfileFormat.h"

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

void DecodeBothWays(std::string_view line) {
    shx::SRecordFields fast;
    shx::SRecordFields plain;
    bool fastLayout = shx::DecodeSRecordLine(line, fast);
    bool plainLayout = shx::DecodeSRecordLineByFields(line, plain);
    Check(fastLayout == plainLayout);
    Check(fast.type == plain.type && fast.byteCount == plain.byteCount);
    Check(fast.address == plain.address && fast.dataLength == plain.dataLength);
    Check(fast.dataLength >= 0 && static_cast<size_t>(fast.dataLength) <= fast.data.size());
    Check(std::memcmp(fast.data.data(), plain.data.data(), static_cast<size_t>(fast.dataLength)) ==
          0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string_view line;
    size_t total = 0;
    while (shx::NextLine(rest, line)) {
        Check(!line.empty() && line.size() <= shx::kMaxLine);
        Check(line.back() == '\n' || line.size() == shx::kMaxLine || rest.empty());
        total += line.size();
        DecodeBothWays(line);
    }
    Check(total == size);
    size_t tail = size < shx::kTrailerSize ? size : shx::kTrailerSize;
    shx::FindStoredChecksum(data + size - tail, tail);
    return 0;
}
