#include "app/core/RandomDraw.h"

namespace sequora {

int RandomDraw::Next() {
    // Unsigned arithmetic wraps modulo 2^32, which is exactly the generator's state space.
    mState = mState * 214013u + 2531011u;
    return static_cast<int>((mState >> 16) & 0x7FFFu);
}

}  // namespace sequora
