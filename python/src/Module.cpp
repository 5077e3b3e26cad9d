// The comlux Python module: the client, its streams and their batches of records.
#include <array>
#include <cstddef>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <string>
#include <vector>

#include "comlux/StreamKinds.h"
#include "comlux/Version.h"
#include "python/src/Client.h"
#include "python/src/RecordLayouts.h"
#include "python/src/Stream.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace comlux_python {

namespace {

/// Records of one object and kind, as the script receives them.
struct Batch {
    std::string kind;
    std::string object;
    py::array records;
};

/// What `for batch in stream.batches(timeout)` walks through.
struct BatchIterator {
    py::object stream;  // keeps the stream alive
    std::optional<double> timeout;
};

// The NumPy dtype of each kind, in StreamKind order; made once and kept for the process's life.
std::array<PyObject*, comlux::kStreamKindCount> gDtypes{};

py::dtype BuildDtype(const RecordLayout& layout) {
    py::list names, formats, offsets;
    for (const Field& field : layout.fields) {
        names.append(std::string(field.name));
        const std::string type(field.numpyType);
        if (field.source == FieldSource::Copy && field.count > 1) {
            formats.append(py::make_tuple(type, py::make_tuple(field.count)));
        } else {
            formats.append(type);
        }
        offsets.append(field.itemOffset);
    }
    return py::dtype::from_args(py::dict("names"_a = names, "formats"_a = formats, "offsets"_a = offsets,
                                         "itemsize"_a = layout.itemSize));
}

py::dict BuildDtypes() {
    py::dict byKind;
    for (const comlux::StreamKindInfo& info : comlux::kStreamKinds) {
        py::dtype dtype = BuildDtype(LayoutOf(info.kind));
        byKind[py::str(std::string(info.kindWord))] = dtype;
        gDtypes[static_cast<std::size_t>(info.kind)] = dtype.release().ptr();
    }
    return byKind;
}

// The segment's records as a NumPy array that owns their memory (no copy).
Batch ToBatch(Segment segment) {
    auto* items = new std::vector<unsigned char>(std::move(segment.items));
    py::capsule owner(items, [](void* held) { delete static_cast<std::vector<unsigned char>*>(held); });
    const auto dtype = py::reinterpret_borrow<py::dtype>(gDtypes[static_cast<std::size_t>(segment.kind)]);
    py::array records(dtype, {segment.count}, {segment.itemSize},
                      items->data() + segment.first * segment.itemSize, owner);
    return {std::string(comlux::InfoOf(segment.kind).kindWord), std::move(segment.object),
            std::move(records)};
}

constexpr const char* kModuleDoc =
    R"(Client of the acquisition server: commands, object lists and live records.

    import comlux
    with comlux.Client("127.0.0.1") as c:
        print(c.send_command("-GetApplicationName"))
        with c.stream(["SE1", "CSC1", "Events"]) as s:
            for batch in s.batches(timeout=1.0):
                print(batch.kind, batch.object, len(batch.records))

Records arrive as NumPy structured arrays, one dtype per kind (see `dtypes`), whose fields are
the columns of comlux-record:

    receive_ms  float64  milliseconds since the stream was opened, when the record arrived
    timestamp   uint64   the record's own time stamp (microseconds, as the server counts them)
    number      int      channel (spike, CSC), tracker (video) or event source (event) number
    cell        int32    spike: the cell number the spike was sorted into
    features    int32[8] spike: the eight feature values
    frequency   uint32   CSC: sampling frequency in Hz
    valid       uint32   CSC: how many of the 512 samples are valid
    event_id    int16    event: the event id
    ttl         int16    event: the TTL value
    text        S128     event: the event string (bytes, up to its NUL)
    x, y, angle int32    video: position and head direction in degrees
    samples     int16[n] spike: all samples in record order (32 per sub-channel: n = 32, 64, 128);
                         CSC: all 512 (the first `valid` of them are valid)

Every wait gives up the GIL and answers Ctrl-C with KeyboardInterrupt within 0.1 s; a failed
operation raises comlux.Error with what the client log says about it.)";

constexpr const char* kClientDoc = R"(A connection to the acquisition server.

Client(host, timeout=10.0, log=None, *, handout_port=26200, command_port=26100)

Connects at once through the port hand-out (handout_port hands out the command port;
command_port is where the server's commands are served when the hand-out is not used) and
raises comlux.Error when that fails. `timeout` (seconds) bounds connecting, sending a command
and waiting for its answer. `log` names the client log file; without it the log goes to a
private file that disappears with the client and only serves the messages of comlux.Error.
Use it as a context manager, or call close(); leaving the `with` closes every open stream and
the connection even when the block raises.)";

constexpr const char* kStreamDoc =
    R"(The data streams of some server objects and the buffer their records collect in.

Made by Client.stream(). The receive threads copy each record into the buffer, decoded into
the kind's dtype, without calling Python; at most max_buffered records are held, and when the
buffer is full the oldest record is pushed out and counted in `dropped`. Read the records with
batches(). Closing (close() or leaving the `with`) closes the server's streams; what was
buffered can still be read.)";

constexpr const char* kBatchesDoc = R"(Iterates over the records as batches, oldest first.

Each batch holds records of one kind and one object. With `timeout` (seconds) the iteration
ends when no record arrived for that long; without it, it waits as long as the stream is open.
It ends once the stream is closed and its buffer is empty. Ctrl-C raises KeyboardInterrupt.)";

}  // namespace

}  // namespace comlux_python

PYBIND11_MODULE(comlux, m) {
    using namespace comlux_python;
    m.doc() = kModuleDoc;
    m.attr("__version__") = COMLUX_VERSION_STRING;
    m.def(
        "library_version", [] { return std::string(comlux::Version()); },
        "The version of the Comlux library actually loaded (libcomlux.so.1).");
    m.attr("dtypes") = BuildDtypes();
    py::register_exception<ComluxError>(m, "Error", PyExc_Exception).doc() =
        "An operation of the client failed; the message says which and, where the client log "
        "says why, its words.";

    py::class_<Batch>(m, "Batch", "Records of one kind and one object, oldest first.")
        .def_readonly("kind", &Batch::kind,
                      "The stream kind: SingleElectrode, Stereotrode, Tetrode, CSC, Video or Event.")
        .def_readonly("object", &Batch::object, "The server object the records belong to.")
        .def_readonly("records", &Batch::records, "The records: a NumPy array of dtypes[kind].")
        .def("__len__", [](const Batch& batch) { return batch.records.size(); })
        .def("__repr__", [](const Batch& batch) {
            return "<comlux.Batch " + batch.kind + " " + batch.object + ": " +
                   std::to_string(batch.records.size()) + " records>";
        });

    py::class_<BatchIterator>(m, "BatchIterator", "What Stream.batches() returns.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](BatchIterator& iterator) {
            auto segment = iterator.stream.cast<Stream&>().Next(iterator.timeout);
            if (!segment) throw py::stop_iteration();
            return ToBatch(std::move(*segment));
        });

    py::class_<Stream>(m, "Stream", kStreamDoc)
        .def(
            "batches",
            [](py::object self, std::optional<double> timeout) {
                return BatchIterator{std::move(self), timeout};
            },
            "timeout"_a = py::none(), kBatchesDoc)
        .def("close", &Stream::Close, "Closes the streams; the buffered records can still be read.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Stream& stream, py::args) { stream.Close(); })
        .def_property_readonly("dropped", &Stream::Dropped,
                               "Records pushed out of the full buffer since the stream was opened.")
        .def_property_readonly("buffered", &Stream::Buffered, "Records held now, not yet read.")
        .def_property_readonly("max_buffered", &Stream::MaxBuffered, "The most records the buffer holds.")
        .def_property_readonly("objects", &Stream::Objects, "The objects whose streams are open.")
        .def_property_readonly("closed", &Stream::Closed, "True once closed.");

    py::class_<Client>(m, "Client", kClientDoc)
        .def(py::init([](std::string host, double timeout, std::optional<std::string> log, int handoutPort,
                         int commandPort) {
                 return std::make_unique<Client>(
                     Client::Settings{std::move(host), timeout, std::move(log), handoutPort, commandPort});
             }),
             "host"_a, "timeout"_a = 10.0, "log"_a = py::none(), py::kw_only(), "handout_port"_a = 26200,
             "command_port"_a = 26100)
        .def("close", &Client::Close, "Closes every open stream, the connection and the log file.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Client& client, py::args) { client.Close(); })
        .def_property_readonly("connected", &Client::Connected, "True while the connection is up.")
        .def_property_readonly("server_application_name", &Client::ServerApplicationName,
                               "The server's application name, as it answered on connecting.")
        .def_property_readonly(
            "log", [](const Client& client) { return client.LogPath(); },
            "The client log file's path as given, or None for the private one.")
        .def("objects", &Client::Objects, "The names of the server's objects.")
        .def("types", &Client::Types, "The data types of the server's objects, in the order of objects().")
        .def("send_command", &Client::SendCommand, "command"_a,
             "Sends the command text and returns the server's answer text as it came.")
        .def("request_feature", &Client::RequestFeature, "name"_a, "value"_a = 0,
             "The value of a server feature (the answer after its status); raises when the status is "
             "negative.")
        .def("sampling_frequency", &Client::SamplingFrequency, "object"_a,
             "The object's sampling frequency in Hz.")
        .def("ad_range", &Client::AdRange, "object"_a, "The object's A/D range as (low, high).")
        .def("ring_buffer_size", &Client::RingBufferSize, "object"_a,
             "The two numbers the server answers about the object's ring buffer.")
        .def("open_stream", &Client::OpenStream, "object"_a,
             "Opens the server's data stream of the object. Its records go to the open Stream that "
             "takes its kind, if any; stream() does this itself.")
        .def("close_stream", &Client::CloseStream, "object"_a,
             "Closes the server's data stream of the object.")
        .def(
            "stream",
            [](Client& client, const std::vector<std::string>& objects, std::size_t maxBuffered) {
                return std::make_unique<Stream>(client, objects, maxBuffered);
            },
            "objects"_a, "max_buffered"_a = 100000, py::keep_alive<0, 1>(),
            "Opens the streams of the objects and returns the Stream their records collect in (at "
            "most max_buffered records). One open Stream per kind of record.");
}
