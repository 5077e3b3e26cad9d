#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comlux/ClientLogFile.h"
#include "comlux/MessageHandler.h"
#include "comlux/internal/ChannelErrorReports.h"
#include "comlux/internal/NodeConnectionClient.h"
#include "comlux/internal/Socket.h"

namespace comlux {

/// What the server texts read while no connection has told them.
inline constexpr const char* kNotConnected = "Not Connected";
/// The range every time-out setter accepts: 0 would make every wait fail at once, and a limit
/// beyond a day would overflow the clock's arithmetic long before it could matter.
inline constexpr std::chrono::milliseconds kMinTimeout{1};
inline constexpr std::chrono::milliseconds kMaxTimeout{24 * 60 * 60 * 1000};

/// The client's one TCP connection to the server's command port: framed commands out, one
/// framed answer back for each. It also owns the client log and the six data-stream listeners,
/// which it sets up, feeds with the server's object lists and shuts down.
///
/// Threads: one caller at a time (ComluxClient serialises). The only operations another
/// thread may call meanwhile are InterruptPendingAnswer, the three server-text getters and
/// SetMessageHandler.
class NetworkNodeClient {
public:
    /// Hands the log to every listener; the log is not open yet.
    NetworkNodeClient();
    /// Shuts the connection down, then closes the log.
    virtual ~NetworkNodeClient();
    NetworkNodeClient(const NetworkNodeClient&) = delete;
    NetworkNodeClient& operator=(const NetworkNodeClient&) = delete;

    /// Opens (replaces) the log file; true on success.
    bool OpenLogFile(const std::string& fileName);
    /// Connects to serverName:portNumber and asks for the server's application name.
    bool InitializeClient(const std::string& serverName, int portNumber);
    /// Closes every open stream, the listeners and the command connection.
    bool ShutdownClient();
    /// Sends the command text with its terminating NUL as one framed message.
    bool SendCommand(const std::string& command);
    /// Reads one answer as text; on failure the text is "-1".
    bool GetReply(std::string& reply);
    /// Sends header and payload in one send call.
    bool SendMessage(const unsigned char* payload, int length);
    /// Reads one whole framed answer; `block` is replaced by its payload.
    bool RecieveMessage(std::vector<unsigned char>& block, int& length);

    /// Sets up the six listeners on ports handed out by the server; 0 or -1.
    int InitializeConnectionNodes();
    /// Counts the object in on its listener and asks the server to stream it.
    bool OpenStream(const std::string& objectName, const std::string& dataType);
    /// Counts the object out; asks the server to stop only when its last opening is closed.
    bool CloseStream(const std::string& objectName, const std::string& dataType);
    /// The registration of the kind's listener, for waiting on it without holding the channel.
    std::shared_ptr<StreamRegistration> Registration(StreamKind kind) { return Stream(kind).Registration(); }
    /// How far the data connection of the kind's listener has come.
    StreamState GetStreamState(StreamKind kind) const {
        return mStreams[static_cast<std::size_t>(kind)].State();
    }
    /// Passes the callback and its context to the listener of the kind.
    void SetCallback(StreamKind kind, RecordCallback callback, void* context);
    /// Returns once no call of a callback replaced earlier on the kind's listener is running (at
    /// once on a receive thread).
    void WaitForEarlierCallbacks(StreamKind kind);
    /// Called each time a listener's receive thread has been told to stop (see NodeConnectionClient).
    void SetStopObserver(const std::function<void()>& observer);

    /// Fetches the server's object and type lists, keeps a copy and hands them to the listeners.
    bool RequestObjectsAndTypes(std::vector<std::string>& objects, std::vector<std::string>& types);
    /// Splits an answer into items (see comlux::ParseCommandString), reporting to this log.
    bool ParseCommandString(std::string_view text, std::vector<std::string>& tokens);

    /// The server name of the connection, or "Not Connected". Any thread.
    std::string GetServerName() const;
    /// The server's dotted IPv4 address, or "Not Connected". Any thread.
    std::string GetServerIPAddress() const;
    /// The server's application name. Any thread.
    std::string GetServerApplicationName() const;

    /// Installs how corrupt-answer messages reach the user (empty: stderr). Any thread.
    void SetMessageHandler(MessageHandler handler);
    /// Corrupt-answer messages kept back, with the handler installed when they were taken.
    struct HeldMessages {
        std::vector<std::string> texts;
        MessageHandler handler;
    };
    /// From now on corrupt-answer messages are kept back until TakeHeldMessages instead of being
    /// shown at once, so that the caller can show them after letting go of what a handler might
    /// wait for.
    void HoldMessages() { mHoldMessages = true; }
    /// The messages kept back since the last call (and the handler, when there are any).
    HeldMessages TakeHeldMessages();
    /// Shows each text through the handler, or on stderr without one.
    static void Show(const HeldMessages& messages);
    /// Longest wait for a connection to be accepted (default 5 s). False, keeping the old value,
    /// outside kMinTimeout to kMaxTimeout; so for the two setters below.
    bool SetConnectTimeout(std::chrono::milliseconds timeout);
    /// Longest time a command may take to be sent; after it the connection is given up (10 s).
    bool SetSendTimeout(std::chrono::milliseconds timeout);
    /// Longest wait for a whole answer, counted from the moment its command went out; after it
    /// the connection is given up (default 10 s).
    bool SetAnswerTimeout(std::chrono::milliseconds timeout);
    /// Shuts the command connection down under a thread that waits on it: its call fails, blaming
    /// the local close, and so does every later one until ShutdownClient. A connection attempt
    /// under way fails too, and so does every later one until ClearInterrupt, so that a procedure
    /// that would try another port gives up instead. Any thread.
    void InterruptPendingAnswer();
    /// Lets connection attempts be made again after InterruptPendingAnswer.
    void ClearInterrupt() { mInterrupted = false; }
    /// True while the command connection is up.
    bool IsInitialized() const { return mInitialized; }
    /// True when the server has ended the command connection, or it has failed: asks the socket
    /// without waiting and takes nothing from it. False while it is open or when there is none.
    bool PeerEnded() const;
    /// True after the six listeners were set up, until the next shutdown.
    bool StreamsInitialized() const { return mStreamsInitialized; }
    /// The client log, shared with the listeners.
    ClientLogFile& Log() { return mClientLog; }

private:
    NodeConnectionClient& Stream(StreamKind kind) { return mStreams[static_cast<std::size_t>(kind)]; }

    int SocketStartup();
    int CreateSocket();
    int GetServerInfo(const std::string& serverName, unsigned char address[4]);
    int ConnectToServer(const unsigned char address[4], int portNumber);
    bool GetBuffer(unsigned char* buffer, int size);
    bool GetBuffer(unsigned char* buffer, int size, int enough, int& received);
    int SendFrame(const std::vector<unsigned char>& frame);
    bool UnaskedDataWaiting();
    bool ResetAfterCorruptAnswer();
    void SetReceiveLimit(std::chrono::milliseconds limit);
    void ReportReceiveClosedLocally();
    void ProcessSendError(int errorCode);
    void ProcessRecieveError(int errorCode);
    void ProcessCloseError(int errorCode);
    void Report(ChannelReporter reporter, int errorCode);
    void ShowMessage(const std::string& text);
    void ShutdownStreams();
    bool RequestItemList(const std::string& command, std::vector<std::string>& callerList,
                         std::vector<std::string>& channelList);
    std::string GetLocalIPAddress();
    std::string CommandPeerAddress();
    void SetServerTexts(const std::string& name, const std::string& address);

    ClientLogFile mClientLog;
    // One listener per kind, indexed by StreamKind: the order the channel walks them everywhere.
    std::array<NodeConnectionClient, kStreamKindCount> mStreams{
        NodeConnectionClient(StreamKind::SingleElectrode), NodeConnectionClient(StreamKind::Stereotrode),
        NodeConnectionClient(StreamKind::Tetrode),         NodeConnectionClient(StreamKind::Csc),
        NodeConnectionClient(StreamKind::VideoTracker),    NodeConnectionClient(StreamKind::Event)};
    bool mInitialized = false;
    Socket mSocket;  // assigned and closed under mSharedLock, so an interrupt never hits a reused descriptor
    std::string mServerName = kNotConnected;             // guarded by mSharedLock
    std::string mServerIPAddress = kNotConnected;        // guarded by mSharedLock
    std::string mServerApplicationName = kNotConnected;  // guarded by mSharedLock
    std::vector<std::string> mServerObjects;
    std::vector<std::string> mServerTypes;
    bool mStreamsInitialized = false;

    mutable std::mutex mSharedLock;       // guards what other threads may read or touch (see members)
    MessageHandler mMessageHandler;       // guarded by mSharedLock
    bool mHoldMessages = false;           // the caller's
    std::vector<std::string> mHeldTexts;  // the caller's: written while reading, taken after
    // Set by InterruptPendingAnswer from any thread, cleared with a new or closed socket.
    std::atomic<bool> mClosedLocally{false};
    // Set by InterruptPendingAnswer from any thread, cleared by the caller (ClearInterrupt).
    std::atomic<bool> mInterrupted{false};
    std::chrono::milliseconds mConnectTimeout{5000};
    std::chrono::milliseconds mSendTimeout{10000};
    std::chrono::milliseconds mAnswerTimeout{10000};
    // When the answer to the command just sent must be in; empty while none is due.
    std::optional<std::chrono::steady_clock::time_point> mAnswerDeadline;
    std::chrono::steady_clock::time_point mReadDeadline;  // of the answer being read
    std::chrono::milliseconds mReceiveLimit{0};           // the socket's receive time-out as set
};

}  // namespace comlux
