#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "comlux/RecordCallback.h"
#include "comlux/StreamKinds.h"
#include "comlux/internal/StreamRegistration.h"

namespace comlux {

class ClientLogFile;
struct ListenerErrorTable;
struct StreamRecordRow;

/// Listens on one port for the server's data connection of one stream kind, reads it on a
/// receive thread of its own as a plain run of fixed-size records, and hands each whole record
/// to the kind's registered callback under the name of the server object its number selects.
/// What differs between the six kinds (record size, kind word, how a record names its object,
/// the report of a bad number) comes from their rows in kStreamKinds and kStreamRecordRows.
///
/// Threads: one thread at a time calls the public operations (the owner: whoever holds the
/// client, a record callback included); each start runs one receive thread, which accepts,
/// reads and delivers. A receive thread is stopped by shutting its sockets down, which wakes a
/// blocked accept or recv; it is never killed. What it uses lives in a Run that it shares: a
/// thread still inside a record callback when its listener is stopped (or destroyed) finishes
/// that call on intact memory and then ends; its sockets are closed only once it has ended.
class NodeConnectionClient {
public:
    /// A listener for the records of `kind`.
    explicit NodeConnectionClient(StreamKind kind);
    /// Ends the receive threads, waiting for every one still inside a record callback unless it
    /// is the calling thread itself, and closes the sockets, writing nothing to the log.
    ~NodeConnectionClient();
    NodeConnectionClient(const NodeConnectionClient&) = delete;
    NodeConnectionClient& operator=(const NodeConnectionClient&) = delete;

    /// Registers the record callback and its context; empty values stop delivery. Returns at
    /// once (see WaitForEarlierCallbacks).
    void SetCallback(RecordCallback callback, void* context);
    /// Returns once no call of a callback replaced earlier is running (at once on a receive thread).
    void WaitForEarlierCallbacks();
    /// The registration, shared: a wait on it may outlive the listener.
    std::shared_ptr<StreamRegistration> Registration() const { return mRegistration; }
    /// Rebuilds the table of object names that record numbers index, from the server's
    /// parallel object and type lists, keeping the objects of the accepted data types.
    void SetObjectNames(const std::vector<std::string>& names, const std::vector<std::string>& types);

    /// Attaches the owner's log (not owned; must outlive the listener). Call before starting.
    void SetLogFile(ClientLogFile* log);
    /// The address to listen on (the one the server is told) and the server's address: only a
    /// peer connecting from there is taken. Both dotted IPv4; both 127.0.0.1 until set.
    void SetEndpoints(std::string localAddress, std::string serverAddress);
    /// Called on the owner's thread each time a receive thread has been told to stop, so that
    /// whatever that thread may wait for can let it go.
    void SetStopObserver(std::function<void()> observer);
    /// Listens on the port (1 to 65535) and starts the receive thread. A listener that is still
    /// started is stopped first, as by CloseServerStream().
    bool InitServerStream(int portNumber);
    /// As InitServerStream, on a port the system picks (see ListeningPort()).
    bool InitServerStreamOnFreePort();
    /// Tells the receive thread to stop and waits at most 500 ms for it (not at all when called
    /// on that thread itself), then closes both sockets. A thread still inside a record callback
    /// keeps its sockets until it has ended; it is joined once ended, on the next start or close,
    /// or on destruction. Records already received but not yet delivered are dropped.
    void CloseServerStream();
    /// Counts one more opening of a server object on this stream. Always true.
    bool AddStreamObject(const std::string& objectName);
    /// Counts one closing; true only when the object's count reached zero and it was removed.
    bool RemoveStreamObject(const std::string& objectName);

    /// How far the current start has come: NotListening without a started receive thread.
    StreamState State() const;
    /// The kind of records this listener takes.
    StreamKind Kind() const { return mKind; }
    /// The port actually bound (0 when not listening).
    int ListeningPort() const { return mBoundPort; }
    /// Size in bytes of one record of this stream kind.
    int RecordSize() const { return InfoOf(mKind).recordSize; }
    /// The stream's kind word used in log lines ("SingleElectrode", "CSC", ...).
    const std::string& StreamType() const { return mStreamType; }
    /// The text of the most recent log report of this listener, from either thread.
    std::string LastReport() const;

private:
    struct Run;

    bool Start(int portNumber, bool anyPort);
    bool CreateSocket(Run& run);
    bool BindSocket(Run& run, int portNumber, bool anyPort);
    bool ListenToSocket(Run& run);
    bool CreateRecieveBuffer(Run& run);
    bool StartReceiveThread(const std::shared_ptr<Run>& run);
    bool AcceptClientSocket(Run& run);
    void RecieveData(Run& run);
    void ExecuteCallback(Run& run, std::span<const unsigned char> record);
    void Report(int level, const std::string& message);
    void ProcessRecieveError(int errorCode);
    void ProcessCloseError(int errorCode);
    void ReportSocketError(const ListenerErrorTable& table, int errorCode);
    static void ServerStreamThread(NodeConnectionClient* listener, const std::shared_ptr<Run>& run);

    void RequestStop(Run& run, bool report);
    void CloseSockets(Run& run, bool report);
    void ReapEndedRuns();

    const StreamKind mKind;
    const std::string mStreamType;
    // Shared with the runs: a thread that outlives its listener finishes its call on it.
    const std::shared_ptr<StreamRegistration> mRegistration;

    mutable std::mutex mMessageLock;  // guards mMessage, written by every thread that reports
    std::string mMessage;

    ClientLogFile* mLogFile = nullptr;    // set before any thread starts
    std::function<void()> mStopObserver;  // set before any thread starts
    // The fields below are the owner's.
    std::string mLocalAddress = "127.0.0.1";
    std::string mServerAddress = "127.0.0.1";
    int mBoundPort = 0;                              // the port bound by the last start, 0 when not listening
    std::vector<std::string> mStreamObjects;         // the stream's opened objects
    std::vector<int> mStreamObjectCounts;            // parallel to mStreamObjects, each at least 1
    std::shared_ptr<Run> mRun;                       // the last start, until CloseServerStream
    std::vector<std::shared_ptr<Run>> mStoppedRuns;  // told to stop, thread not yet joined
};

}  // namespace comlux
