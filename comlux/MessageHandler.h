#pragma once

#include <functional>
#include <string>

namespace comlux {

/// Shows one of the client's corrupt-answer messages to the user; called on the reading thread,
/// returns when the user has seen it. Default (none installed): the text is written to stderr.
using MessageHandler = std::function<void(const std::string& text)>;

}  // namespace comlux
