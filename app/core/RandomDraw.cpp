#include "app/core/RandomDraw.h"

namespace sequora {

int RandomDraw::Next() {
    // Unsigned arithmetic wraps modulo 2^32, which is exactly the generator's state space.
    mState = mState * 214013u + 2531011u;
    return static_cast<int>((mState >> 16) & 0x7FFFu);
}

std::uint32_t SeedFromClock(RunClock& clock) {
    // splitmix64's finaliser over both clocks' nanoseconds.
    const auto calendar = clock.CalendarNow().time_since_epoch();
    const auto steady = clock.Now().time_since_epoch();
    std::uint64_t x =
        static_cast<std::uint64_t>(std::chrono::nanoseconds(calendar).count()) ^
        (static_cast<std::uint64_t>(std::chrono::nanoseconds(steady).count()) * 0x9E3779B97F4A7C15u);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    x ^= x >> 31;
    return static_cast<std::uint32_t>(x);
}

}  // namespace sequora
