// Builds a superfile (.shx) and the image files a reader should derive from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Manifest.h"
#include "SuperfileFormat.h"

namespace mkshx {

inline constexpr size_t kHeaderSize = shx::kHeaderSize;

struct BuiltSuperfile {
    std::vector<uint8_t> bytes;
    // slot -> expected image file content, for every sub-file with an image
    // whose block is in the body (slot 3 included when slot 2's block carries it)
    std::map<int, std::vector<uint8_t>> images;
    uint16_t storedChecksum = 0;  // the trailer's digits; 0 without a trailer
    bool hasChecksum = false;
};

// Throws ManifestError when the manifest cannot be built as asked (for
// example a checksum the trailer rule would read differently).
BuiltSuperfile BuildSuperfile(const Manifest& manifest);

// base + "RAMDLD.smg" for slot 0, base + "CG<n>.smg" for slot n + 2, where
// base is the path with every ".shx" removed. Slot 1 has no image file.
std::string ImageFileName(const std::string& shxPath, int slot);

// Writes the superfile and, when asked, its expected image files beside it.
// Throws std::runtime_error naming the path on any I/O failure.
void WriteSuperfile(const BuiltSuperfile& built, const std::string& shxPath, bool writeImages);

}  // namespace mkshx
