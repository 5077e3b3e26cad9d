#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "comlux/ComluxExport.h"
#include "comlux/MessageHandler.h"
#include "comlux/RecordCallback.h"
#include "comlux/StreamKinds.h"

namespace comlux {

/// The client library's one entry point for applications: turns requests into command texts,
/// sends them over the command channel and converts the answers.
///
/// Threads: every operation may be called from any thread. Operations are serialised
/// internally, so a command and its answer never interleave with another caller's: every
/// operation waits for another thread's operation to end, except CloseLogFile, the
/// Get*Name/GetServerIPAddress getters, SetMessageHandler and CloseConnection (which cuts the
/// other thread's wait for an answer short, then waits for it to let go). GetCommandPort and
/// IsConnected wait like the others. CloseConnection may be called while another thread waits
/// for an answer: that wait ends at once, its call fails, and the close goes ahead. Destroying
/// the client does the same with a command under way.
///
/// Answers: one answer may hold at most 16 MiB; a longer one is taken for a corrupt answer, is
/// reported in the log and closes the connection, as an answer that never comes does.
///
/// Record callbacks (SetCallbackSE ... SetCallbackVT) run on the stream listeners' receive
/// threads, one call at a time per stream; the record pointer is valid only during the call.
/// The contract between them and the client:
/// - A callback may call any operation of the client, destruction included. None of them waits
///   for the callback's own receive thread, and none hangs: where an operation cannot be done
///   from there it fails instead (returns false, or registers nothing). In particular, while
///   the client is closing a connection or being destroyed, operations called from callbacks
///   fail at once.
/// - Registering, replacing or removing a callback returns only once no call of the callback it
///   replaces is running, so its context may be freed right after. Called from inside a record
///   callback (of any stream), it returns at once instead: that call may be the caller itself,
///   or one that waits for it. A callback may destroy the client while another thread replaces
///   its own stream's callback: both complete.
/// - An exception escaping a callback is caught on the receive thread. The first one of each
///   stream connection is written to the log at Error level with the exception's text; the
///   records that follow go on being delivered.
/// - Stopping a stream (CloseConnection, a lost connection, destruction) never cuts a running
///   callback off and never closes its connection under it. The client waits at most 500 ms per
///   stream for a callback to return before going on; destruction waits until every receive
///   thread has ended, except the one it is called from.
/// - No record is delivered after its stream has been told to stop, and none twice.
class COMLUX_EXPORT ComluxClient {
public:
    /// Creates the command channel (which owns the log file and the stream listeners).
    ComluxClient();
    /// Shuts the channel down and closes the log file.
    virtual ~ComluxClient();
    ComluxClient(const ComluxClient&) = delete;
    ComluxClient& operator=(const ComluxClient&) = delete;

    /// Opens (replaces) the client log file; true on success.
    bool OpenLogFile(std::string fileName);
    /// Writes the log's closing line and closes it at once, even while another thread is inside
    /// an operation (whose later lines are then dropped): for a program that must end now.
    bool CloseLogFile();
    /// Connects through the port hand-out (requestPort) or straight to the command port,
    /// then sets up the six data streams and announces this computer's name. False when any
    /// step fails; a failure after the command connection was made (setting up the streams)
    /// leaves that connection and the listeners started so far open, so IsConnected() may be
    /// true: call CloseConnection() before connecting again.
    bool OpenConnection(std::string serverName, bool requestPort);
    /// Closes open streams, every listener started (a failed set-up's included) and the command
    /// connection. Does not wait for a command of another thread to be answered: that wait is
    /// cut short.
    bool CloseConnection();
    /// True while the command connection is up. Waits until another thread's operation is over.
    bool IsConnected();
    /// True when the server has ended the idle command connection (or it has failed), seen
    /// without sending anything and without taking any byte from it. False while it is open,
    /// when there is none, and while another thread's operation uses it: this call never waits.
    bool ServerClosedConnection();
    /// Sends the command; true with the answer's text (answer unchanged on failure).
    bool SendCommand(std::string command, std::string& answer);
    /// Sends the command; true with the raw answer payload in `block` and its size in `length`.
    bool SendCommandRaw(std::string command, std::vector<unsigned char>& block, int& length);
    /// Sends "-SetApplicationName" with the name in double quotes.
    bool SetApplicationName(std::string name);
    /// Sends "-SetComputerName " with this computer's name.
    bool SetComputerName();
    /// Status answer with two values; true when the status is 0 or more.
    bool RequestRingBufferSize(std::string objectName, int& value1, int& value2);
    /// Copies at most bufferSize bytes of the raw answer into buffer (zero-filled first).
    bool RequestRingBuffer(std::string objectName, unsigned char* buffer, int bufferSize, int& bytesCopied);
    /// Status answer with one value; true when the status is 0 or more.
    bool RequestSamplingFrequency(std::string objectName, int& frequency);
    /// Status answer with two values; true when the status is 0 or more.
    bool RequestADRange(std::string objectName, int& value1, int& value2);
    /// "status value-text" answer; true with the text after the first blank when status >= 0.
    bool RequestFeature(std::string featureName, int value, std::string& featureValue);
    /// Sends "-LogMessage <message> <value>"; true when the answer was read.
    bool LogMessage(std::string message, int value);
    /// Fetches the server's object names and their data types (parallel lists).
    bool GetObjectsAndTypes(std::vector<std::string>& objectNames, std::vector<std::string>& objectTypes);
    /// Opens the data stream of one server object.
    bool OpenStream(std::string objectName, std::string dataType);
    /// Closes the data stream of one server object.
    bool CloseStream(std::string objectName, std::string dataType);

    /// How far the data connection of the kind has come: lets a caller tell that a stream it
    /// opened never came (the listener could not start, or the server never connected).
    StreamState GetStreamState(StreamKind kind);

    /// Registers the record callback of the single-electrode stream (see the class comment).
    void SetCallbackSE(RecordCallback callback, void* context);
    /// Registers the record callback of the stereotrode stream.
    void SetCallbackST(RecordCallback callback, void* context);
    /// Registers the record callback of the tetrode stream.
    void SetCallbackTT(RecordCallback callback, void* context);
    /// Registers the record callback of the continuously sampled channel stream.
    void SetCallbackCSC(RecordCallback callback, void* context);
    /// Registers the record callback of the event stream.
    void SetCallbackEV(RecordCallback callback, void* context);
    /// Registers the record callback of the video tracker stream.
    void SetCallbackVT(RecordCallback callback, void* context);

    /// The server name as passed to the last connection, or "Not Connected".
    std::string GetServerName();
    /// The server's IPv4 address in dotted decimal, or "Not Connected".
    std::string GetServerIPAddress();
    /// The server's application name (kept after a disconnect), or "Not Connected".
    std::string GetServerApplicationName();
    /// The server port the command connection was made to (the handed-out one or the
    /// fixed one); 0 before the first connection. Kept after a disconnect.
    int GetCommandPort();

    /// Installs how corrupt-answer messages reach the user (default: stderr); see MessageHandler.h
    /// for when it runs.
    void SetMessageHandler(MessageHandler handler);
    /// Ports for the hand-out and the command connection (defaults 26200 / 26100).
    void SetPorts(int handoutPort, int commandPort);
    /// Longest wait for the server to accept a connection, on the hand-out port and on the
    /// command port alike (default 5 s). Each time-out setter takes 1 ms to 24 h (86,400,000 ms);
    /// outside that range it returns false and keeps the value it had. True when set.
    bool SetConnectTimeout(std::chrono::milliseconds timeout);
    /// Longest time one command may take to be sent before the connection is given up (default
    /// 10 s; 1 ms to 24 h, false outside).
    bool SetSendTimeout(std::chrono::milliseconds timeout);
    /// Longest wait for a whole answer, from the moment its command was sent, before the
    /// connection is given up (default 10 s; 1 ms to 24 h, false outside).
    bool SetAnswerTimeout(std::chrono::milliseconds timeout);

private:
    class Impl;
    // Owned: created by the constructor, deleted by the destructor. A plain pointer keeps the
    // class one pointer wide whatever the implementation holds, so callers built against this
    // header keep working when it changes.
    Impl* const mImpl;
};

/// Registers the record callback of the stream of `kind` (one of the SetCallback operations above,
/// chosen by kind). Inline, so the library exports nothing more for it.
inline void SetCallback(ComluxClient& client, StreamKind kind, RecordCallback callback, void* context) {
    switch (kind) {
        case StreamKind::SingleElectrode: client.SetCallbackSE(callback, context); return;
        case StreamKind::Stereotrode: client.SetCallbackST(callback, context); return;
        case StreamKind::Tetrode: client.SetCallbackTT(callback, context); return;
        case StreamKind::Csc: client.SetCallbackCSC(callback, context); return;
        case StreamKind::VideoTracker: client.SetCallbackVT(callback, context); return;
        case StreamKind::Event: client.SetCallbackEV(callback, context); return;
    }
}

}  // namespace comlux
