// The one random generator of the run, shared by the rules (pieces, colours, bonus items), the scene
// (backgrounds) and the sounds: a 15-bit linear congruential generator seeded once at start-up, so a
// run with a given seed deals the same pieces and replays exactly.
#pragma once

#include <cstdint>

void SeedRandom(uint32_t seed);
// A uniform whole number in [lo, hi] (lo when the range is empty).
int RandomInt(int lo, int hi);
