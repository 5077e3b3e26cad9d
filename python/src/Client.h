#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "comlux/StreamKinds.h"
#include "python/src/LogTail.h"
#include "python/src/Session.h"
#include "python/src/StreamBuffer.h"

namespace comlux_python {

/// Raised to Python as comlux.Error.
class ComluxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A server object that has a data stream.
struct StreamObject {
    std::string name;
    std::string dataType;
    comlux::StreamKind kind;
};

/// The client as the script sees it: one connection, opened at construction, closed by Close()
/// or when the object goes. Every operation raises ComluxError on failure, with the lines the
/// library wrote to its log meanwhile.
///
/// Threads: the script's thread only (Python holds the GIL around every call); the operations
/// themselves run through RunInterruptibly.
class Client {
public:
    /// Connection settings; ports 0 keep the library's defaults.
    struct Settings {
        std::string host;
        double timeoutSeconds = 10.0;
        std::optional<std::string> logPath;
        int handoutPort = 0;
        int commandPort = 0;
    };
    explicit Client(const Settings& settings);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    /// Closes every open stream, the connection and the log; does nothing the second time.
    void Close();
    bool Connected();
    std::string ServerApplicationName();
    /// The log file's path as given, or nullopt for the private one.
    const std::optional<std::string>& LogPath() const { return mLogPath; }

    std::vector<std::string> Objects();
    std::vector<std::string> Types();
    std::string SendCommand(const std::string& command);
    std::string RequestFeature(const std::string& name, int value);
    int SamplingFrequency(const std::string& object);
    std::pair<int, int> AdRange(const std::string& object);
    std::pair<int, int> RingBufferSize(const std::string& object);
    void OpenStream(const std::string& object);
    void CloseStream(const std::string& object);

    /// Opens the streams of `objects` into a new buffer of at most `maxBuffered` records.
    std::shared_ptr<StreamBuffer> StartStream(const std::vector<std::string>& objects,
                                              std::size_t maxBuffered, std::vector<StreamObject>& opened);
    /// Closes the streams a StartStream opened and stops its buffer; never raises, except for
    /// Ctrl-C.
    void StopStream(const std::shared_ptr<StreamBuffer>& buffer, const std::vector<StreamObject>& opened);

private:
    void RequireOpen() const;
    /// Runs the operation; on failure raises with `what` and the log's lines.
    void Run(const std::string& what, Operation operation);
    void ListObjects(std::vector<std::string>& names, std::vector<std::string>& types);
    StreamObject Resolve(const std::string& name, const std::vector<std::string>& names,
                         const std::vector<std::string>& types);

    std::shared_ptr<Session> mSession;
    LogTail mLog;
    std::optional<std::string> mLogPath;  // as given; fixed at construction
    bool mClosed = false;
    std::vector<std::weak_ptr<StreamBuffer>> mStreams;  // the buffers of streams started here
};

}  // namespace comlux_python
