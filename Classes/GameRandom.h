// The seed of the C library's random generator: the clock in seconds, or a fixed sequence under STARGRID_SEED.
#pragma once
#include <optional>

namespace game {

// What the game seeds `srand` with where it seeds "with the current time".
// With STARGRID_SEED=N (or a test's fixed seed) the readings are N, N+1, N+2...,
// as a clock that ticks one second per reading, so a run replays exactly.
unsigned int randomSeed();

// Seeds `srand` with randomSeed().
void seedRandom();

// Fixes the seed sequence for a test (nullopt: back to the environment or the clock).
void setFixedSeedForTesting(std::optional<unsigned int> seed);

}  // namespace game
