#pragma once

#include <cstdint>

// The runtime's pseudo-random generator, shared by the whole program: one 32-bit state word, a
// linear congruential step per draw. Stored passwords depend on its exact sequence.

// The state word.
std::uint32_t RandSeed();
void SetRandSeed(std::uint32_t seed);

// Advances the state (state * 134775813 + 1) and returns a number from 0 to range - 1: the upper
// 32 bits of the new state times range.
std::uint32_t Random(std::uint32_t range);

// Seeds the state from the clock.
void Randomize();
