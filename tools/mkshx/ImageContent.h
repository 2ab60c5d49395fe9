// The bytes a sub-file's data records carry, before holes and extra records.
#pragma once

#include <cstdint>
#include <vector>

#include "Manifest.h"

namespace mkshx {

// Size() bytes: generated, or hex data padded with 0xFF; a type-2 sub-file
// with an explicit barker gets it as its first eight bytes, and one asking for
// its descriptor gets that at bytes 8..15.
std::vector<uint8_t> GenerateContent(const ManifestSubfile& sub, uint64_t manifestSeed);

}  // namespace mkshx
