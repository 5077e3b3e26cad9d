#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace galdera {

/// One acquisition entity the server offers: its name and its data-type word.
struct ServerObject {
    std::string name;  ///< may contain blanks; quoted in object-list answers
    std::string type;  ///< e.g. "SEScAcqEnt", "CscAcqEnt", "EventAcqEnt"
    /// Same name and same type.
    bool operator==(const ServerObject&) const = default;
};

/// A few objects of each data type, one of them with a blank in its name.
std::vector<ServerObject> DefaultObjects();

/// Values answered to "-RequestFeature <name> <n>" ("0 <value>"); unknown names get "-1 UnknownFeature".
std::map<std::string, std::string> DefaultFeatures();

/// A command as the server received it.
struct ReceivedCommand {
    std::int64_t micros;  ///< microseconds since Start(), taken when the frame was complete
    int connection;       ///< 1, 2, ... in accept order (hand-out and command connections alike)
    std::string text;     ///< the payload up to its terminating NUL
};

/// Deliberate answer faults, for testing how a client copes with a broken server.
enum class Fault {
    None,
    WrongVersion,          ///< header version 2
    ZeroVersion,           ///< header version 0
    BadValidation,         ///< validation code other than 0xA5A5A5A5
    ZeroLength,            ///< header claims an empty payload (no payload follows)
    NegativeLength,        ///< length field -1 (no payload follows)
    HugeLength,            ///< length field 0x7FFFFFF0 (only the real payload follows)
    OneBytePieces,         ///< correct answer written one byte per write with short pauses
    CloseInsteadOfAnswer,  ///< the connection is closed instead of answering
    SlowAnswer,            ///< correct answer after a 300 ms delay
    NoAnswer               ///< the command is never answered (the connection stays open)
};

/// How the server is set up; ports 0 mean "any free port".
struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    int handoutPort = 26200;  ///< 0: any free port (see HandoutPort())
    int commandPort = 26100;  ///< 0: any free port (see CommandPort())
    std::vector<ServerObject> objects = DefaultObjects();
    double recordsPerSecond = 100;  ///< per opened object
    std::ostream* echo = nullptr;   ///< if set: "<micros> <conn id> <text>\n" per command
    std::map<std::string, std::string> features = DefaultFeatures();
    /// A connection that has sent no whole command for this long, and streams nothing, is closed;
    /// so is a handed-out port nobody has connected to.
    std::chrono::milliseconds idleTimeout{30000};
    /// Connections served at once, handed-out ports still waiting included; a new connection
    /// beyond them is closed at once, and a port request beyond them is refused.
    int maxConnections = 256;
    /// If set: a line for each connection closed at once for the cap.
    std::ostream* notices = nullptr;
};

class ServerCore;

/// An in-process stand-in for the acquisition server: answers framed text commands on a
/// hand-out port and a command port, connects back for data streams and sends records.
/// All work runs on threads of its own; the object is non-copyable.
class GalderaServer {
public:
    /// Keeps the options; nothing is bound until Start().
    explicit GalderaServer(ServerOptions options);
    /// Stops and joins everything.
    ~GalderaServer();
    GalderaServer(const GalderaServer&) = delete;
    GalderaServer& operator=(const GalderaServer&) = delete;

    /// Binds both listeners and starts serving; false if a port cannot be bound.
    bool Start();
    /// Closes every connection and joins every thread; safe to call more than once.
    void Stop();
    /// The hand-out port actually bound (0 before Start()).
    int HandoutPort() const;
    /// The command port actually bound (0 before Start()).
    int CommandPort() const;
    /// Every command received so far, in arrival order.
    std::vector<ReceivedCommand> Received() const;
    /// Waits until at least `count` commands have arrived; false on timeout.
    bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;
    /// Applies `fault` to the next `count` answers (-1: until reset with Fault::None).
    void SetFault(Fault fault, int count = -1);
    /// Scripted answers: return an answer text to replace the normal one (nullopt: normal answer).
    void SetAnswerOverride(std::function<std::optional<std::string>(const std::string& command)> fn);

private:
    std::unique_ptr<ServerCore> mCore;  // owns sockets and threads; lives as long as the server
};

}  // namespace galdera
