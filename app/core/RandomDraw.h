#pragma once

#include <cstdint>

#include "app/core/RunClock.h"

namespace sequora {

/// The 15-bit linear congruential generator of the random choices: a 32-bit state,
/// state = state * 214013 + 2531011 per draw, yielding bits 16..30 of the new state.
class RandomDraw {
public:
    /// Sets the state to the seed.
    void Seed(std::uint32_t seed) { mState = seed; }
    /// Advances the state and returns a value from 0 to 32767.
    int Next();

private:
    std::uint32_t mState = 1;
};

/// A seed from the clock, for a run given none: both clocks' nanoseconds, mixed so that runs
/// started close together get unrelated seeds.
std::uint32_t SeedFromClock(RunClock& clock);

}  // namespace sequora
