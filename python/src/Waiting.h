#pragma once

#include <chrono>
#include <memory>

#include "python/src/Session.h"

namespace comlux_python {

/// The longest time the script's thread waits without looking for Ctrl-C.
inline constexpr std::chrono::milliseconds kWaitSlice{100};

/// Runs `operation` on a thread of its own and waits for it without the GIL, in slices; between
/// slices pending signals are handled. When a signal handler raises (Ctrl-C: KeyboardInterrupt),
/// the connection is closed behind the script's back, which cuts the operation short, and the
/// Python error is thrown at once; the operation's thread ends on its own.
/// Call with the GIL held, on the thread that runs Python.
bool RunInterruptibly(const std::shared_ptr<Session>& session, Operation operation);

}  // namespace comlux_python
