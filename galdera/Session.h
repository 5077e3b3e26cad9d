#pragma once

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "galdera/CommandTable.h"
#include "galdera/Records.h"
#include "galdera/StreamSender.h"
#include "galdera/TcpSocket.h"

namespace galdera {

class ServerCore;

/// One client's command connection: reads framed commands, records them, answers each with
/// one framed message and owns the data streams the client asked for. Runs on the calling
/// thread until the client leaves, sends a corrupt frame or the server stops.
class Session : public CommandContext {
public:
    /// `core` outlives the session; `handout` marks a connection to the hand-out port.
    Session(ServerCore& core, std::shared_ptr<TcpSocket> connection, int id, bool handout);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Serves commands until the connection ends.
    void Run();

    const std::vector<ServerObject>& Objects() const override;
    const std::map<std::string, std::string>& Features() const override;
    int NextAvailablePort() override;
    bool CreateStream(const std::string& address, int port, const std::string& typeWord) override;
    bool OpenStream(std::size_t index) override;
    bool CloseStream(std::size_t index) override;

private:
    /// Reads one command; false when the connection is to end.
    bool ReadCommand(std::vector<unsigned char>& payload);
    /// Sends the answer as the current fault setting says; false when the connection is to end.
    bool SendAnswer(const std::vector<unsigned char>& payload);
    /// Open numbers of `kind`, kept so a stream created later starts with them.
    std::set<int>& OpenNumbers(StreamKind kind) { return mOpenNumbers[kind]; }

    ServerCore& mCore;
    const std::shared_ptr<TcpSocket> mConnection;
    const int mId;
    const bool mHandout;
    std::map<StreamKind, std::set<int>> mOpenNumbers;
    std::map<StreamKind, std::unique_ptr<StreamSender>> mStreams;
};

}  // namespace galdera
