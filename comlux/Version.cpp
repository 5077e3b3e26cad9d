#include "comlux/Version.h"

namespace comlux {

const char* Version() {
    return COMLUX_VERSION_STRING;
}

}  // namespace comlux
