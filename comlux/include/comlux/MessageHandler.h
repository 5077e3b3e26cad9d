#pragma once

#include <functional>
#include <string>

namespace comlux {

/// Shows one of the client's corrupt-answer messages to the user; called on the reading thread,
/// returns when the user has seen it. Default (none installed): the text is written to stderr.
///
/// The handler runs once the operation that read the corrupt answer has let go of the client,
/// before that operation returns to its caller. So it may call any operation of the client, and
/// may wait for another thread that is itself inside a client call: neither waits for the handler.
using MessageHandler = std::function<void(const std::string& text)>;

}  // namespace comlux
