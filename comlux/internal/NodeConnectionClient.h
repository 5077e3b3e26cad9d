#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comlux/RecordCallback.h"
#include "comlux/StreamKinds.h"
#include "comlux/internal/Socket.h"

namespace comlux {

class ClientLogFile;
struct ListenerErrorTable;

/// Listens on one port for the server's data connection of one stream type and reads it as
/// a plain run of fixed-size records on a receive thread of its own, handing each whole record
/// to the stream type's ExecuteCallback.
///
/// Threads: the owner's thread calls every public operation; the receive thread accepts,
/// reads and runs ExecuteCallback (and thereby the record callback). The listener is stopped by
/// shutting its sockets down, which wakes a blocked accept or recv; it is never killed.
class NodeConnectionClient {
public:
    /// Ends a still running receive thread (waiting for it without bound, so nothing it uses is
    /// freed under it) and closes the sockets, writing nothing to the log.
    virtual ~NodeConnectionClient();
    NodeConnectionClient(const NodeConnectionClient&) = delete;
    NodeConnectionClient& operator=(const NodeConnectionClient&) = delete;

    /// Registers the single-electrode record callback; other stream types ignore it.
    virtual void SetCallbackSE(RecordCallback callback, void* context);
    /// Registers the stereotrode record callback; other stream types ignore it.
    virtual void SetCallbackST(RecordCallback callback, void* context);
    /// Registers the tetrode record callback; other stream types ignore it.
    virtual void SetCallbackTT(RecordCallback callback, void* context);
    /// Registers the continuously-sampled-channel record callback; other stream types ignore it.
    virtual void SetCallbackCSC(RecordCallback callback, void* context);
    /// Registers the event record callback; other stream types ignore it.
    virtual void SetCallbackEV(RecordCallback callback, void* context);
    /// Registers the video tracker record callback; other stream types ignore it.
    virtual void SetCallbackVT(RecordCallback callback, void* context);
    /// Rebuilds the table of object names that record numbers index, from the server's
    /// parallel object and type lists, keeping the objects of the accepted data types.
    virtual void SetObjectNames(const std::vector<std::string>& names,
                                const std::vector<std::string>& types) = 0;

    /// Attaches the owner's log (not owned; must outlive the listener). Call before starting.
    void SetLogFile(ClientLogFile* log);
    /// Listens on the port (0: any free port, see ListeningPort()) and starts the receive thread.
    /// A listener that is still started is stopped first, as by CloseServerStream().
    bool InitServerStream(int portNumber);
    /// Ends the receive thread, waiting at most 500 ms for it, and closes both sockets.
    /// A thread still busy in a record callback after 500 ms is joined, and its sockets closed,
    /// on the next InitServerStream() or on destruction.
    void CloseServerStream();
    /// Counts one more opening of a server object on this stream. Always true.
    bool AddStreamObject(const std::string& objectName);
    /// Counts one closing; true only when the object's count reached zero and it was removed.
    bool RemoveStreamObject(const std::string& objectName);

    /// The port actually bound (0 when not listening).
    int ListeningPort() const { return mBoundPort; }
    /// Size in bytes of one record of this stream type.
    int RecordSize() const { return mRecordSize; }
    /// The stream's kind word used in log lines ("SingleElectrode", "CSC", ...).
    const std::string& StreamType() const { return mStreamType; }
    /// The text of the most recent log report of this listener, from either thread.
    std::string LastReport() const;

protected:
    /// Takes the record size and the kind word of the stream kind.
    explicit NodeConnectionClient(StreamKind kind);

    /// Delivers the record now held in the receive buffer; receive thread only.
    virtual void ExecuteCallback() = 0;
    /// The record being delivered; valid inside ExecuteCallback only.
    const unsigned char* RecordBuffer() const { return mRecvBuffer.get(); }
    /// Writes one report line to the log and keeps it as the last report.
    void Report(int level, const std::string& message);
    /// Ends the receive thread and closes the sockets without writing to the log. Every stream
    /// type calls it first in its destructor, so that ExecuteCallback never runs on a half
    /// destroyed object.
    void StopReceivingForDestruction();

private:
    bool CreateSocket();
    bool BindSocket(int portNumber);
    bool ListenToSocket();
    bool CreateRecieveBuffer();
    bool StartReceiveThread();
    bool AcceptClientSocket();
    bool RecieveData();
    void ProcessRecieveError(int errorCode);
    void ProcessCloseError(int errorCode);
    void ReportSocketError(const ListenerErrorTable& table, int errorCode);
    static int ServerStreamThread(NodeConnectionClient* listener);

    void MarkThreadFinished();
    void RequestStop(bool report);
    bool WaitForThreadEnd();
    bool JoinThread(bool evenIfBusy);
    void CloseSockets(bool report);

    const int mRecordSize;
    const std::string mStreamType;

    mutable std::mutex mMessageLock;  // guards mMessage, written by both threads
    std::string mMessage;

    std::unique_ptr<unsigned char[]> mRecvBuffer;  // receive thread only while it runs
    ClientLogFile* mLogFile = nullptr;
    Socket mClientSocket;  // written by the receive thread under mThreadLock after accept
    Socket mListenSocket;
    int mRecvBufferSize = 0;
    int mBoundPort = 0;                       // the port bound by the last start, 0 when not listening
    std::vector<std::string> mStreamObjects;  // owner's thread only
    std::vector<int> mStreamObjectCounts;     // parallel to mStreamObjects, each at least 1

    std::thread mDmaProcessor;
    std::mutex mThreadLock;  // guards mThreadFinished and the hand-over of mClientSocket
    std::condition_variable mThreadEnded;
    // Written by the owner's thread (under mThreadLock, so that an accept racing a stop sees it),
    // read by the receive thread: no more deliveries, and failures are now our own doing.
    std::atomic<bool> mStopRequested{false};
    bool mThreadFinished = false;   // set by the receive thread as its last act
    bool mThreadLingering = false;  // owner's thread: a stopped thread not yet joined
};

}  // namespace comlux
