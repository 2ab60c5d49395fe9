// Internal steps of BuildSuperfile: the S-record body and the binary header.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "Manifest.h"

namespace mkshx {

class SRecordWriter;

struct Body {
    // Expected image of every sub-file with an image, also when its block is
    // omitted (the header describes it all the same).
    std::map<int, std::vector<uint8_t>> images;
    std::set<int> emittedImages;  // slots whose images a reader can build
    bool anyBlock = false;        // false: the body is empty
};

// Upper bound of the body's size, for one reservation up front.
size_t EstimateBodySize(const Manifest& manifest);

// Appends every block; the final S7 record is left without its line end so
// the trailer can follow on the same line.
Body WriteBody(const Manifest& manifest, SRecordWriter& writer);

// Fills the 8172-byte header (zeroed by the caller).
void WriteHeader(const Manifest& manifest, const std::map<int, std::vector<uint8_t>>& images,
                 uint8_t* header);

}  // namespace mkshx
