// A small deterministic generator: the same seed gives the same releases,
// phones and faults on every machine, so a failing case is reproduced by its seed.
#pragma once

#include <cstdint>

namespace campaign {

// SplitMix64: one 64-bit state, good enough spread for test data.
inline uint64_t Mix(uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

inline uint64_t Mix(uint64_t a, uint64_t b) {
    return Mix(a ^ Mix(b));
}

class SeededRandom {
  public:
    explicit SeededRandom(uint64_t seed) : state(seed) {}

    uint64_t Next() {
        state += 0x9E3779B97F4A7C15ULL;
        return Mix(state);
    }
    // Uniform in [low, high].
    uint64_t Between(uint64_t low, uint64_t high) {
        return high <= low ? low : low + Next() % (high - low + 1);
    }
    // True with the given chance in percent.
    bool Chance(unsigned percent) { return Next() % 100 < percent; }

  private:
    uint64_t state;
};

}  // namespace campaign
