#include "ImageContent.h"

#include <algorithm>
#include <cstring>

namespace mkshx {

namespace {

uint64_t SplitMix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// xorshift64*, eight output bytes per step (little-endian) so that large
// images generate at memory speed. The same seed always gives the same bytes.
void FillRandom(std::vector<uint8_t>& out, uint64_t seed) {
    uint64_t state = SplitMix64(seed);
    if (state == 0) {
        state = 0x2545F4914F6CDD1Dull;
    }
    size_t i = 0;
    while (i < out.size()) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        uint64_t word = state * 0x2545F4914F6CDD1Dull;
        for (int k = 0; k < 8 && i < out.size(); ++k, ++i) {
            out[i] = static_cast<uint8_t>(word >> (8 * k));
        }
    }
}

}  // namespace

std::vector<uint8_t> GenerateContent(const ManifestSubfile& sub, uint64_t manifestSeed) {
    std::vector<uint8_t> out(sub.Size(), 0xFF);
    switch (sub.data.kind) {
        case DataKind::Random: {
            // A sub-file without a seed of its own uses its slot, so sub-files
            // differ and the manifest seed (or --seed) changes them all.
            uint64_t own = sub.data.seed ? *sub.data.seed : static_cast<uint64_t>(sub.slot);
            FillRandom(out, SplitMix64(manifestSeed) ^ own);
            break;
        }
        case DataKind::Counter:
            for (size_t i = 0; i < out.size(); ++i) {
                out[i] = static_cast<uint8_t>(i);
            }
            break;
        case DataKind::Fill:
            std::fill(out.begin(), out.end(), sub.data.fillByte);
            break;
        case DataKind::Hex:
            std::copy(sub.data.hex.begin(), sub.data.hex.end(), out.begin());
            break;
    }
    if (sub.type == 2 && sub.barker && out.size() >= 8) {
        std::memcpy(out.data(), sub.barker->data(), 8);
    }
    if (sub.descriptor && out.size() >= 16) {
        // The same eight bytes as descriptor offsets 16..23, right after the barker.
        const uint8_t descriptor[8] = {sub.flag,
                                       sub.variant,
                                       sub.family,
                                       sub.carried[0],
                                       sub.carried[1],
                                       sub.carried[2],
                                       static_cast<uint8_t>(sub.version >> 8),
                                       static_cast<uint8_t>(sub.version)};
        std::memcpy(out.data() + 8, descriptor, 8);
    }
    return out;
}

}  // namespace mkshx
