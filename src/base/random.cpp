#include "base/random.h"

namespace {
// The run's one generator: a linear congruential generator with a 15-bit output.
uint32_t randomState = 1;

int NextRandom() {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int>((randomState >> 16) & 0x7FFFu);
}
}  // namespace

void SeedRandom(uint32_t seed) {
    randomState = seed;
}

// The scale is hi + 1 rather than the width of the range: out-of-range draws are simply drawn again,
// which keeps the result uniform over [lo, hi].
int RandomInt(int lo, int hi) {
    if (hi < lo) {
        return lo;  // an empty range would never produce a candidate
    }
    int candidate = -1;
    bool first = true;
    while (first || candidate < lo || candidate > hi) {
        first = false;
        const int r = NextRandom();
        candidate = lo + static_cast<int>(r * (static_cast<double>(hi) + 1.0) / 32767.0);
    }
    return candidate;
}
