// The trailer rule is the module's own (SuperfileFormat.h), so a file mkshx
// checks reads the same way in the reader.
#include "Checksum.h"

#include "FormatBytes.h"
#include "SuperfileFormat.h"

namespace mkshx {

uint16_t Sum16(const uint8_t* data, size_t size) {
    return shx::Sum16(data, size);
}

TrailerChecksum ReadTrailerChecksum(const uint8_t* file, size_t size) {
    TrailerChecksum result;
    size_t tailStart = size > shx::kTrailerSize ? size - shx::kTrailerSize : 0;
    const uint8_t* tail = file + tailStart;
    shx::StoredChecksum stored = shx::FindStoredChecksum(tail, size - tailStart);
    if (!stored.found) {
        return result;
    }
    result.found = true;
    result.s7Offset = tailStart + stored.excludedFrom;
    result.stored = stored.value;
    uint64_t excluded =
        shx::ByteSum(tail + stored.excludedFrom, stored.excludedTo - stored.excludedFrom);
    result.computed = static_cast<uint16_t>(shx::ByteSum(file, size) - excluded);
    return result;
}

}  // namespace mkshx
