#include "app/cli/record/ComluxRecord.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/record/StreamRecorder.h"
#include "comlux/HostNames.h"
#include "comlux/StreamKinds.h"

namespace sequora::record {

namespace {

// The name this tool gives itself on the server.
const char kApplicationName[] = "comlux-record";
const char kPrefix[] = "comlux-record: ";

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

}  // namespace

int RecordStreams(const RecorderOptions& options, comlux::ComluxClient& client, std::ostream& out,
                  bool flushEachLine, std::ostream& err, const std::function<void()>& waitForStop) {
    if (!options.logPath.empty() && !client.OpenLogFile(options.logPath)) {
        err << kPrefix << "cannot open the log file " << options.logPath << "; recording without it"
            << std::endl;
    }
    const std::string server = ServerName(options);
    const std::string why = options.logPath.empty() ? " (--log PATH writes the client log, which says why)"
                                                    : " (the client log " + options.logPath + " says why)";
    if (!client.OpenConnection(server, true)) {
        client.CloseConnection();
        err << kPrefix << "cannot connect to " << server << why << std::endl;
        return kExitNoConnection;
    }
    client.SetApplicationName(kApplicationName);
    std::vector<std::string> names, types;
    if (!client.GetObjectsAndTypes(names, types)) {
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

    // The connection is closed and the callbacks taken back before the recorder goes.
    StreamRecorder recorder(out, flushEachLine);
    for (const StreamObject& object : objects) {
        (client.*kSetCallbacks[static_cast<std::size_t>(object.kind)])(StreamRecorder::Callback(),
                                                                       recorder.Context(object.kind));
    }
    recorder.Begin();
    std::vector<const StreamObject*> opened;
    int status = kExitDone;
    for (const StreamObject& object : objects) {
        if (!client.OpenStream(object.name, object.dataType)) {
            err << kPrefix << "the stream of " << object.name << " could not be opened" << why << std::endl;
            status = kExitNoStream;
            break;
        }
        opened.push_back(&object);
    }
    if (status == kExitDone) waitForStop();

    for (const StreamObject* object : opened) client.CloseStream(object->name, object->dataType);
    recorder.Finish();
    client.CloseConnection();
    for (const StreamObject& object : objects) {
        (client.*kSetCallbacks[static_cast<std::size_t>(object.kind)])(nullptr, nullptr);
    }

    std::vector<std::string> recorded;
    for (const StreamObject* object : opened) recorded.push_back(object->name);
    for (const auto& [name, count] : recorder.Counts(recorded)) err << name << '\t' << count << '\n';
    err.flush();
    if (!recorder.OutputGood()) {
        err << kPrefix << "writing the records failed" << std::endl;
        if (status == kExitDone) status = kExitBadUsage;
    }
    return status;
}

}  // namespace sequora::record
