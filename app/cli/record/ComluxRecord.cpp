#include "app/cli/record/ComluxRecord.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/record/StreamRecorder.h"
#include "comlux/HostNames.h"
#include "comlux/StreamKinds.h"

namespace sequora::record {

namespace {

// The name this tool gives itself on the server.
const char kApplicationName[] = "comlux-record";
const char kPrefix[] = "comlux-record: ";
// Why a requested object's stream could not be opened.
const char kNoPortHandedOut[] = "the server handed out no port for it";
const char kCannotListen[] = "the client could not listen for it";
const char kOpenRefused[] = "the server or the client refused to open it";
const char kNeverConnected[] = "the server did not connect it within 5 s";
const char kStoppedEarly[] = "stopped before recording began";
// Why the last records were not written when the output stopped taking them at the stop.
const char kOutputStalled[] = "the output took nothing for too long";

// After a stop, how long the streams may take to close normally before what the client waits
// for is cut short, and how long a write to a stalled output may still wait.
constexpr auto kCloseGrace = std::chrono::milliseconds(500);
constexpr auto kWriteGrace = std::chrono::milliseconds(300);
// How often the wait for the server's stream connections looks again.
constexpr auto kStreamLook = std::chrono::milliseconds(20);

// The client's set-callback operation of each stream kind, in StreamKind order.
using SetCallback = void (comlux::ComluxClient::*)(comlux::RecordCallback, void*);
constexpr SetCallback kSetCallbacks[comlux::kStreamKindCount] = {
    &comlux::ComluxClient::SetCallbackSE, &comlux::ComluxClient::SetCallbackST,
    &comlux::ComluxClient::SetCallbackTT, &comlux::ComluxClient::SetCallbackCSC,
    &comlux::ComluxClient::SetCallbackVT, &comlux::ComluxClient::SetCallbackEV,
};
static_assert(comlux::kStreamKinds[4].kind == comlux::StreamKind::VideoTracker &&
              comlux::kStreamKinds[5].kind == comlux::StreamKind::Event);

// A server object to record.
struct StreamObject {
    std::string name;
    std::string dataType;
    comlux::StreamKind kind;
};

// The requested objects as the server lists them; complaints for those it cannot stream.
std::vector<StreamObject> Resolve(const std::vector<std::string>& requested,
                                  const std::vector<std::string>& names,
                                  const std::vector<std::string>& types,
                                  std::vector<std::string>& complaints) {
    std::vector<StreamObject> objects;
    for (const std::string& name : requested) {
        const auto already = [&name](const StreamObject& object) { return object.name == name; };
        if (std::any_of(objects.begin(), objects.end(), already)) continue;
        const auto found = std::find(names.begin(), names.end(), name);
        const auto index = static_cast<std::size_t>(found - names.begin());
        if (found == names.end() || index >= types.size()) {
            complaints.push_back("the server has no object " + name);
            continue;
        }
        const auto kind = comlux::StreamKindOfDataType(types[index]);
        if (!kind) {
            complaints.push_back(name + " is of data type " + types[index] + ", which has no data stream");
            continue;
        }
        objects.push_back({name, types[index], *kind});
    }
    return objects;
}

std::string ServerName(const RecorderOptions& options) {
    if (!options.server.empty()) return options.server;
    const std::string name = comlux::ComputerName();
    return name.empty() ? "localhost" : name;
}

/// Cuts short what the client waits for once a stop is requested: at once during the start-up
/// (a connection attempt, an answer), after kCloseGrace while recording, so that the streams
/// close normally when the server answers.
///
/// Threads: its own thread waits and calls CloseConnection; the stop's action only sets a flag.
class Closer {
public:
    Closer(StopRequest& stop, comlux::ComluxClient& client) : mStop(stop) {
        mStop.OnRequest([this] {
            std::lock_guard guard(mLock);
            mStopped = true;
            mChanged.notify_all();
        });
        mThread = std::thread([this, &client] { Run(client); });
    }
    ~Closer() {
        mStop.OnRequest({});
        {
            std::lock_guard guard(mLock);
            mDone = true;
            mChanged.notify_all();
        }
        mThread.join();
    }
    Closer(const Closer&) = delete;
    Closer& operator=(const Closer&) = delete;

    /// Every stream is open: a stop now lets them close normally first.
    void Recording() {
        std::lock_guard guard(mLock);
        mRecording = true;
    }

private:
    void Run(comlux::ComluxClient& client) {
        std::unique_lock lock(mLock);
        mChanged.wait(lock, [this] { return mStopped || mDone; });
        if (mDone || (mRecording && mChanged.wait_for(lock, kCloseGrace, [this] { return mDone; }))) return;
        lock.unlock();
        client.CloseConnection();
    }

    StopRequest& mStop;
    std::mutex mLock;  // guards the three flags
    std::condition_variable mChanged;
    bool mStopped = false;
    bool mRecording = false;
    bool mDone = false;
    std::thread mThread;  // started last
};

// The requested names, each once, in their order.
std::vector<std::string> Unique(const std::vector<std::string>& names) {
    std::vector<std::string> unique;
    for (const std::string& name : names) {
        if (std::find(unique.begin(), unique.end(), name) == unique.end()) unique.push_back(name);
    }
    return unique;
}

void WriteCounts(std::ostream& err, const std::vector<std::pair<std::string, std::uint64_t>>& counts) {
    for (const auto& [name, count] : counts) err << name << '\t' << count << '\n';
    err.flush();
}

void StreamFailed(std::ostream& err, const std::string& object, const std::string& reason) {
    err << kPrefix << "the stream of " << object << " could not be opened: " << reason << std::endl;
}

comlux::StreamState StateOf(comlux::ComluxClient& client, const StreamObject& object) {
    return client.GetStreamState(object.kind);
}

// After a failed connection that left the command connection up, names the requested objects
// whose listener got no port. False when it could not tell.
bool NameObjectsWithoutPort(comlux::ComluxClient& client, const RecorderOptions& options, std::ostream& err) {
    std::vector<std::string> names, types;
    if (!client.IsConnected() || !client.GetObjectsAndTypes(names, types)) return false;
    std::vector<std::string> complaints;
    bool named = false;
    for (const StreamObject& object : Resolve(options.objects, names, types, complaints)) {
        if (StateOf(client, object) != comlux::StreamState::NotListening) continue;
        StreamFailed(err, object.name, kNoPortHandedOut);
        named = true;
    }
    return named;
}

// Waits until the server has connected the stream of every object, at most kStreamConnectLimit;
// names those it did not connect. False when one is missing or a stop came.
bool AwaitStreamConnections(comlux::ComluxClient& client, const std::vector<const StreamObject*>& opened,
                            StopRequest& stop, std::ostream& err) {
    const auto deadline = std::chrono::steady_clock::now() + kStreamConnectLimit;
    const auto waiting = [&](const StreamObject* object) {
        return StateOf(client, *object) == comlux::StreamState::WaitingForServer;
    };
    while (std::any_of(opened.begin(), opened.end(), waiting)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            for (const StreamObject* object : opened) {
                if (waiting(object)) StreamFailed(err, object->name, kNeverConnected);
            }
            return false;
        }
        if (stop.WaitFor(kStreamLook)) return false;
    }
    return !stop.Requested();
}

}  // namespace

int RecordStreams(const RecorderOptions& options, comlux::ComluxClient& client, const RecordOutput& output,
                  std::ostream& err, StopRequest& stop, const std::function<void()>& waitForStop) {
    if (!options.logPath.empty() && !client.OpenLogFile(options.logPath)) {
        err << kPrefix << "cannot open the log file " << options.logPath << "; recording without it"
            << std::endl;
    }
    const std::string server = ServerName(options);
    const std::string why = options.logPath.empty() ? " (--log PATH writes the client log, which says why)"
                                                    : " (the client log " + options.logPath + " says why)";
    const auto stoppedEarly = [&] {
        client.CloseConnection();
        err << kPrefix << kStoppedEarly << std::endl;
        std::vector<std::pair<std::string, std::uint64_t>> zeros;
        for (const std::string& name : Unique(options.objects)) zeros.emplace_back(name, 0);
        WriteCounts(err, zeros);
        return kExitNoConnection;
    };
    Closer closer(stop, client);
    if (!client.OpenConnection(server, true)) {
        if (stop.Requested()) return stoppedEarly();
        if (!NameObjectsWithoutPort(client, options, err))
            err << kPrefix << "cannot connect to " << server << why << std::endl;
        client.CloseConnection();
        return kExitNoConnection;
    }
    client.SetApplicationName(kApplicationName);
    std::vector<std::string> names, types;
    if (!client.GetObjectsAndTypes(names, types)) {
        if (stop.Requested()) return stoppedEarly();
        client.CloseConnection();
        err << kPrefix << "cannot read the object list of " << server << why << std::endl;
        return kExitNoConnection;
    }

    std::vector<std::string> complaints;
    const std::vector<StreamObject> objects = Resolve(options.objects, names, types, complaints);
    if (!complaints.empty()) {
        client.CloseConnection();
        for (const std::string& complaint : complaints) err << kPrefix << complaint << std::endl;
        return kExitNoStream;
    }
    bool listening = true;
    for (const StreamObject& object : objects) {
        if (StateOf(client, object) != comlux::StreamState::NotListening) continue;
        StreamFailed(err, object.name, kCannotListen + why);
        listening = false;
    }
    if (!listening) {
        client.CloseConnection();
        return kExitNoConnection;
    }
    if (stop.Requested()) return stoppedEarly();

    // The connection is closed and the callbacks taken back before the recorder goes.
    StreamRecorder recorder(output.lines);
    recorder.OnWriteFailure([&stop] { stop.Request(); });
    for (const StreamObject& object : objects) {
        (client.*kSetCallbacks[static_cast<std::size_t>(object.kind)])(StreamRecorder::Callback(),
                                                                       recorder.Context(object.kind));
    }
    std::vector<const StreamObject*> opened;
    int status = kExitDone;
    if (recorder.Begin()) {
        for (const StreamObject& object : objects) {
            if (!client.OpenStream(object.name, object.dataType)) {
                if (!stop.Requested()) StreamFailed(err, object.name, kOpenRefused);
                status = kExitNoConnection;
                break;
            }
            opened.push_back(&object);
        }
        if (status == kExitDone && !AwaitStreamConnections(client, opened, stop, err))
            status = kExitNoConnection;
        if (status == kExitDone && !stop.Requested()) {
            closer.Recording();
            waitForStop();
        } else if (stop.Requested() && recorder.OutputGood()) {
            err << kPrefix << kStoppedEarly << std::endl;
            status = kExitNoConnection;
        }
    }

    if (output.fd != nullptr) output.fd->GiveUpAfter(kWriteGrace);
    for (const StreamObject* object : opened) client.CloseStream(object->name, object->dataType);
    recorder.Finish();
    client.CloseConnection();
    for (const StreamObject& object : objects) {
        (client.*kSetCallbacks[static_cast<std::size_t>(object.kind)])(nullptr, nullptr);
    }

    std::vector<std::string> recorded;
    recorded.reserve(objects.size());
    for (const StreamObject& object : objects) recorded.push_back(object.name);
    WriteCounts(err, recorder.Counts(recorded));
    if (!recorder.OutputGood()) {
        err << kPrefix << "writing the records to " << output.name << " failed after " << recorder.Written()
            << " records";
        const int error = output.fd != nullptr ? output.fd->Error() : 0;
        if (error == ETIMEDOUT) {
            err << " (" << kOutputStalled << ")";
        } else if (error != 0) {
            err << " (" << std::strerror(error) << ")";
        }
        err << std::endl;
        return kExitBadUsage;
    }
    return status;
}

}  // namespace sequora::record
