#pragma once

#include <map>
#include <string>
#include <vector>

#include "galdera/GalderaServer.h"

namespace galdera {

/// What the command handlers need from the connection that received the command.
class CommandContext {
public:
    virtual ~CommandContext() = default;
    /// The server's objects, in list order.
    virtual const std::vector<ServerObject>& Objects() const = 0;
    /// Feature name → value for "-RequestFeature".
    virtual const std::map<std::string, std::string>& Features() const = 0;
    /// A port for "-GetNextAvailablePortNumber"; 0 when none could be had.
    virtual int NextAvailablePort() = 0;
    /// Connects a data stream of `typeWord` to `address`:`port`; false on failure.
    virtual bool CreateStream(const std::string& address, int port, const std::string& typeWord) = 0;
    /// Starts records for objects[index] on its stream; false when it has no stream kind.
    virtual bool OpenStream(std::size_t index) = 0;
    /// Stops records for objects[index].
    virtual bool CloseStream(std::size_t index) = 0;
};

/// The name the server gives itself in "-GetApplicationName" answers.
inline constexpr const char* kApplicationName = "Galdera GalderaSim";

/// The answer payload for one command text (text answers end with a NUL; a ring buffer is raw).
std::vector<unsigned char> AnswerCommand(CommandContext& context, const std::string& command);
/// The items of an object or type answer: separated by blanks, items holding white space quoted.
std::string JoinItems(const std::vector<std::string>& items);

}  // namespace galdera
