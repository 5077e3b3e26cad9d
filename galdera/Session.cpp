#include "galdera/Session.h"

#include "galdera/Framing.h"
#include "galdera/ServerCore.h"

namespace galdera {

namespace {

// How long a data connection back to the client may take to establish.
constexpr std::chrono::milliseconds kStreamConnectTimeout{2000};
constexpr std::chrono::milliseconds kSlowAnswerDelay{300};
constexpr std::chrono::milliseconds kPiecePause{1};

}  // namespace

Session::Session(ServerCore& core, std::shared_ptr<TcpSocket> connection, int id, bool handout)
    : mCore(core), mConnection(std::move(connection)), mId(id), mHandout(handout) {}

// The streams stop (and their threads are joined) as mStreams is destroyed.
Session::~Session() = default;

void Session::Run() {
    std::vector<unsigned char> payload;
    while (ReadCommand(payload)) {
        const auto arrived = std::chrono::steady_clock::now();
        const std::string text = PayloadText(payload);
        mCore.Record(arrived, mId, text);
        const auto scripted = mCore.OverrideFor(text);
        const auto answer = scripted ? TextPayload(*scripted) : AnswerCommand(*this, text);
        if (!SendAnswer(answer)) break;
    }
}

bool Session::ReadCommand(std::vector<unsigned char>& payload) {
    const int stopFd = mCore.Stopping().Fd();
    // A connection that streams nothing must send its next whole command within the idle time.
    const auto deadline = mStreams.empty() ? std::chrono::steady_clock::now() + mCore.Options().idleTimeout
                                           : std::chrono::steady_clock::time_point::max();
    unsigned char headerBytes[kHeaderSize];
    if (ReceiveExact(mConnection->Fd(), stopFd, headerBytes, kHeaderSize, deadline) != IoResult::Ok)
        return false;
    const FrameHeader header = DecodeHeader(headerBytes);
    // A corrupt header leaves no way to find the next message: the connection ends.
    if (!IsAcceptableHeader(header)) return false;
    payload.assign(static_cast<std::size_t>(header.length), 0);
    return ReceiveExact(mConnection->Fd(), stopFd, payload.data(), payload.size(), deadline) == IoResult::Ok;
}

bool Session::SendAnswer(const std::vector<unsigned char>& payload) {
    const Fault fault = mCore.TakeFault();
    if (fault == Fault::CloseInsteadOfAnswer) return false;
    if (fault == Fault::NoAnswer) return true;
    if (fault == Fault::SlowAnswer && mCore.Stopping().SleepFor(kSlowAnswerDelay)) return false;
    const std::vector<unsigned char> frame = EncodeAnswer(payload, fault);
    if (fault != Fault::OneBytePieces) return mConnection->SendAll(frame.data(), frame.size());
    for (unsigned char byte : frame) {
        if (!mConnection->SendAll(&byte, 1) || mCore.Stopping().SleepFor(kPiecePause)) return false;
    }
    return true;
}

const std::vector<ServerObject>& Session::Objects() const {
    return mCore.Options().objects;
}

const std::map<std::string, std::string>& Session::Features() const {
    return mCore.Options().features;
}

int Session::NextAvailablePort() {
    // On the hand-out port the answer is a command port of our own; on a command connection it
    // is a port for one of the client's stream listeners, which the client binds itself.
    return mHandout ? mCore.OpenHandedOutPort() : FindFreePort();
}

bool Session::CreateStream(const std::string& address, int port, const std::string& typeWord) {
    const auto kind = StreamKindOf(typeWord);
    if (!kind) return false;
    // The client announces the address its host name resolves to; a server kept on loopback
    // must not reach out to another interface, so it connects back over loopback instead.
    const std::string& bound = mCore.Options().bindAddress;
    const std::string target =
        IsLoopbackAddress(bound) && !IsLoopbackAddress(address) ? "127.0.0.1" : address;
    auto connection = std::make_shared<TcpSocket>(ConnectTo(target, port, kStreamConnectTimeout));
    if (!connection->IsValid()) return false;
    mCore.Register(connection);
    mStreams.erase(*kind);
    auto sender =
        std::make_unique<StreamSender>(connection, *kind, mCore.Options().recordsPerSecond, mCore.Epoch());
    for (int number : OpenNumbers(*kind)) sender->Open(number);
    mStreams[*kind] = std::move(sender);
    return true;
}

bool Session::OpenStream(std::size_t index) {
    const auto kind = StreamKindOf(Objects()[index].type);
    if (!kind) return false;
    const int number = RecordNumber(Objects(), index);
    OpenNumbers(*kind).insert(number);
    if (const auto stream = mStreams.find(*kind); stream != mStreams.end()) stream->second->Open(number);
    return true;
}

bool Session::CloseStream(std::size_t index) {
    const auto kind = StreamKindOf(Objects()[index].type);
    if (!kind) return false;
    const int number = RecordNumber(Objects(), index);
    OpenNumbers(*kind).erase(number);
    if (const auto stream = mStreams.find(*kind); stream != mStreams.end()) stream->second->Close(number);
    return true;
}

}  // namespace galdera
