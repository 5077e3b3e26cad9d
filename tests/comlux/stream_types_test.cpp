// The six stream kinds through one listener: what each kind's records look like on the wire is
// written out here on its own, so that a wrong row in the library's tables shows.
#include <algorithm>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "comlux/internal/NodeConnectionClient.h"
#include "tests/comlux/listener_test_peer.h"

using namespace listenertest;
using comlux::NodeConnectionClient;
using comlux::StreamKind;

namespace {

/// One stream kind as the server and the log see it.
struct KindCase {
    std::string label;
    StreamKind kind;
    int recordSize;
    std::string kindWord;
    std::string dataType;
    int numberOffset;  // -1: the records carry no number
    int numberWidth;   // bytes, little-endian; 4 signed, 2 unsigned
    std::string invalidNumber;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const KindCase& c, std::ostream* out) {
    *out << c.label;
}

const std::string kSpikeNumber =
    "::ExecuteCallback() - Error, we have encountered an invalid spike channel number from our comlux "
    "buffer.  scNumber: ";

const KindCase kKinds[] = {
    {"SE", StreamKind::SingleElectrode, 112, "SingleElectrode", "SEScAcqEnt", 8, 4,
     "ERROR NodeConnectionClientSE" + kSpikeNumber},
    {"ST", StreamKind::Stereotrode, 176, "Stereotrode", "STScAcqEnt", 8, 4,
     "ERROR NodeConnectionClientST" + kSpikeNumber},
    {"TT", StreamKind::Tetrode, 304, "Tetrode", "TTScAcqEnt", 8, 4,
     "ERROR NodeConnectionClientTT" + kSpikeNumber},
    {"CSC", StreamKind::Csc, 1044, "CSC", "CscAcqEnt", 8, 4,
     "ERROR NodeConnectionClientCSC::ExecuteCallback() - Error, we have encountered an invalid channel "
     "number "
     "from our comlux buffer.  chanNumber: "},
    {"VT", StreamKind::VideoTracker, 1828, "Video", "VTAcqEnt", 2, 2,
     "ERROR NodeConnectionClientVT::ExecuteCallback() - Error, we have encountered an invalid video tracker "
     "ID "
     "from our comlux buffer.  id: "},
    {"EV", StreamKind::Event, 184, "Event", "EventAcqEnt", -1, 0, ""},
};

const KindCase& Case(const std::string& label) {
    return *std::find_if(std::begin(kKinds), std::end(kKinds),
                         [&](const KindCase& c) { return c.label == label; });
}

/// A record of the kind: every byte differs from its neighbours and from other records' (by
/// `seed`), and the number, where the kind has one, sits in its field.
std::vector<unsigned char> Record(const KindCase& c, std::int64_t number, unsigned char seed) {
    std::vector<unsigned char> record(static_cast<std::size_t>(c.recordSize));
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<unsigned char>(seed * 31 + i * 7);
    for (int b = 0; b < c.numberWidth; ++b) {
        const auto at = static_cast<std::size_t>(c.numberOffset) + static_cast<std::size_t>(b);
        record[at] = static_cast<unsigned char>(static_cast<std::uint64_t>(number) >> (8 * b));
    }
    return record;
}

std::string GracefulClose(const KindCase& c) {
    return "NOTICE NodeConnectionClient::RecieveData() - Attempt to recieve data has failed, socket has been "
           "closed gracefully.  mStreamType: " +
           c.kindWord;
}

/// A started listener of one kind with a recorder registered and a connected peer.
struct Stream {
    Stream(const KindCase& c, LogCapture& log, const std::vector<std::string>& names,
           const std::vector<std::string>& types)
        : kind(c), recorder(c.recordSize), listener(c.kind) {
        listener.SetLogFile(log.Log());
        listener.SetObjectNames(names, types);
        listener.SetCallback(&Recorder::Callback, &recorder);
        started = listener.InitServerStreamOnFreePort();
        peer = std::make_unique<Peer>(listener.ListeningPort());
    }
    ~Stream() { listener.CloseServerStream(); }
    /// Closes the peer and waits until the listener has read everything before the close.
    bool Drain(LogCapture& log) {
        peer->Close();
        return log.WaitForEntry(GracefulClose(kind));
    }

    const KindCase& kind;
    Recorder recorder;
    NodeConnectionClient listener;
    std::unique_ptr<Peer> peer;
    bool started = false;
};

/// A callback that blocks in its first call until released.
struct Blocking {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<Blocking*>(context);
        if (self->calls.fetch_add(1) == 0) {
            self->entered.set_value();
            self->release.get_future().wait();
        }
    }
    std::atomic<int> calls{0};  // written by the receive thread
    std::promise<void> entered;
    std::promise<void> release;
};

}  // namespace

class EveryKind : public testing::TestWithParam<KindCase> {
protected:
    const KindCase& kind = GetParam();
    std::vector<std::string> names = {"first", "second", "third"};
    std::vector<std::string> types = {kind.dataType, kind.dataType, kind.dataType};
    /// The name a record with `number` is delivered under: events always go to the first object.
    std::string NameOf(std::size_t number) const { return kind.numberWidth == 0 ? names[0] : names[number]; }
};

TEST_P(EveryKind, RecordsSplitAcrossReadsOrPackedSeveralToAReadAreDeliveredWholeInOrder) {
    LogCapture log;
    Stream stream(kind, log, names, types);
    ASSERT_TRUE(stream.started);
    EXPECT_EQ(stream.listener.StreamType(), kind.kindWord);
    EXPECT_EQ(stream.listener.RecordSize(), kind.recordSize);
    const auto first = Record(kind, 2, 1);
    const auto second = Record(kind, 1, 2);
    const auto third = Record(kind, 0, 3);
    const auto fourth = Record(kind, 1, 4);
    // The first record in three pieces, cut inside the number field and later on.
    const auto cut1 = first.begin() + std::max(kind.numberOffset, 0) + 1;
    const auto cut2 = first.begin() + 60;
    ASSERT_TRUE(stream.peer->Send({first.begin(), cut1}));
    std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(stream.peer->Send({cut1, cut2}));
    std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(stream.peer->Send({cut2, first.end()}));
    // Two whole records and the start of a fourth together; then the fourth's rest.
    ASSERT_TRUE(stream.peer->Send(Join({second, third, {fourth.begin(), fourth.begin() + 5}})));
    std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(stream.peer->Send({fourth.begin() + 5, fourth.end()}));
    ASSERT_TRUE(stream.Drain(log));

    const auto got = stream.recorder.Deliveries();
    ASSERT_EQ(got.size(), 4u);
    const std::vector<std::pair<std::vector<unsigned char>, std::size_t>> expected = {
        {first, 2}, {second, 1}, {third, 0}, {fourth, 1}};
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].bytes, expected[i].first) << "record " << i;
        EXPECT_EQ(got[i].name, NameOf(expected[i].second)) << "record " << i;
        EXPECT_EQ(got[i].count, 1);
    }
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{GracefulClose(kind)}));
}

TEST_P(EveryKind, EveryRecordReachesTheCallbackSixteenByteAlignedWhateverTheReadSizes) {
    LogCapture log;
    Stream stream(kind, log, names, types);
    std::vector<unsigned char> all;
    for (int i = 0; i < 600; ++i) {
        const auto record = Record(kind, i % 3, static_cast<unsigned char>(i));
        all.insert(all.end(), record.begin(), record.end());
    }
    // Pieces of prime sizes from a few bytes to several records, so records start anywhere in a read.
    std::size_t at = 0;
    for (std::size_t piece : {7u, 61u, 509u, 1031u, 4099u, 9001u}) {
        for (int i = 0; i < 20 && at < all.size(); ++i) {
            const std::size_t end = std::min(all.size(), at + piece);
            ASSERT_TRUE(stream.peer->Send(
                {all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(end)}));
            at = end;
        }
    }
    ASSERT_TRUE(stream.peer->Send({all.begin() + static_cast<long>(at), all.end()}));
    ASSERT_TRUE(stream.Drain(log));
    EXPECT_EQ(stream.recorder.Deliveries().size(), 600u);
    EXPECT_EQ(stream.recorder.Misaligned(), 0);
}

TEST_P(EveryKind, AConnectionEndingInsideARecordDeliversNothingOfIt) {
    LogCapture log;
    Stream stream(kind, log, names, types);
    const auto whole = Record(kind, 0, 5);
    const auto cut = Record(kind, 0, 6);
    ASSERT_TRUE(stream.peer->Send(Join({whole, {cut.begin(), cut.begin() + kind.recordSize - 1}})));
    ASSERT_TRUE(stream.Drain(log));
    const auto got = stream.recorder.Deliveries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, whole);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{GracefulClose(kind)}));
}

TEST_P(EveryKind, RecordsAlreadyReceivedAreNotDeliveredOnceTheStreamIsStopped) {
    LogCapture log;
    Blocking blocking;
    {
        NodeConnectionClient listener(kind.kind);
        listener.SetLogFile(log.Log());
        listener.SetObjectNames(names, types);
        listener.SetCallback(&Blocking::Callback, &blocking);
        ASSERT_TRUE(listener.InitServerStreamOnFreePort());
        Peer peer(listener.ListeningPort());
        // All in one piece: the later records are in the listener's buffer when the stop comes.
        ASSERT_TRUE(peer.Send(Join({Record(kind, 0, 1), Record(kind, 1, 2), Record(kind, 2, 3)})));
        ASSERT_EQ(blocking.entered.get_future().wait_for(kPatience), std::future_status::ready);
        listener.CloseServerStream();
        blocking.release.set_value();
    }  // destruction waits for the receive thread to end
    EXPECT_EQ(blocking.calls.load(), 1);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{kTerminated, kWaitCompleted}));
}

TEST_P(EveryKind, NumbersOutsideTheTableAreReportedAndReceivingGoesOn) {
    LogCapture log;
    Stream stream(kind, log, names, types);
    if (kind.numberWidth == 0) {
        // Event records carry no number: whatever their bytes, each goes to the first object.
        ASSERT_TRUE(stream.peer->Send(Join({Record(kind, 0, 0xFF), Record(kind, 0, 0x80)})));
        ASSERT_TRUE(stream.Drain(log));
        EXPECT_EQ(stream.recorder.Deliveries().size(), 2u);
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{GracefulClose(kind)}));
        return;
    }
    // The table size itself, all ones (read signed for 32 bits, unsigned for 16), then a good one.
    const std::int64_t allOnes = kind.numberWidth == 4 ? -1 : 65535;
    ASSERT_TRUE(stream.peer->Send(Join({Record(kind, 3, 1), Record(kind, allOnes, 2), Record(kind, 1, 3)})));
    ASSERT_TRUE(stream.Drain(log));
    const auto got = stream.recorder.Deliveries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, Record(kind, 1, 3));
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{kind.invalidNumber + "3",
                                        kind.invalidNumber + std::to_string(allOnes), GracefulClose(kind)}));
}

TEST_P(EveryKind, OnlyObjectsOfTheAcceptedTypesEnterTheTableAndLetterCaseCounts) {
    LogCapture log;
    std::string lower = kind.dataType;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const std::string other = kind.kind == StreamKind::Csc ? "VTAcqEnt" : "CscAcqEnt";
    // One name more than types: it has no type and is skipped.
    Stream stream(kind, log, {"wrong case", "other", "mine", "untyped"}, {lower, other, kind.dataType});
    ASSERT_TRUE(stream.peer->Send(Record(kind, 0, 1)));
    ASSERT_TRUE(stream.Drain(log));
    const auto got = stream.recorder.Deliveries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "mine");
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryKind, testing::ValuesIn(kKinds),
                         [](const auto& info) { return info.param.label; });

TEST(StreamTypes, SpikeNumbersIndexAllSpikeObjectsInTheServersOrder) {
    LogCapture log;
    const std::vector<std::string> names = {"SE1", "CSC1", "TT1", "ST1"};
    const std::vector<std::string> types = {"SEScAcqEnt", "CscAcqEnt", "TTScAcqEnt", "STScAcqEnt"};
    Stream tt(Case("TT"), log, names, types);
    Stream se(Case("SE"), log, names, types);
    Stream st(Case("ST"), log, names, types);
    Stream csc(Case("CSC"), log, names, types);

    ASSERT_TRUE(tt.peer->Send(Record(Case("TT"), 1, 0)));
    ASSERT_TRUE(se.peer->Send(Join({Record(Case("SE"), 2, 0), Record(Case("SE"), 3, 0)})));
    ASSERT_TRUE(st.peer->Send(Record(Case("ST"), 0, 0)));
    ASSERT_TRUE(csc.peer->Send(Join({Record(Case("CSC"), 0, 0), Record(Case("CSC"), 1, 0)})));
    for (Stream* s : {&tt, &se, &st, &csc}) ASSERT_TRUE(s->Drain(log));

    ASSERT_EQ(tt.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(tt.recorder.Deliveries()[0].name, "TT1");
    ASSERT_EQ(se.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(se.recorder.Deliveries()[0].name, "ST1");
    ASSERT_EQ(st.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(st.recorder.Deliveries()[0].name, "SE1");
    ASSERT_EQ(csc.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(csc.recorder.Deliveries()[0].name, "CSC1");

    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), Case("SE").invalidNumber + "3"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), Case("CSC").invalidNumber + "1"), 1);
}

TEST(StreamTypes, EventRecordsCarryTheFirstEventObjectsNameOrNone) {
    LogCapture log;
    Stream ev(Case("EV"), log, {}, {});
    ASSERT_TRUE(ev.peer->Send(Record(Case("EV"), 0, 1)));
    ASSERT_TRUE(ev.recorder.WaitFor(1));
    ev.listener.SetObjectNames({"VT1", "Events", "Events2"}, {"VTAcqEnt", "EventAcqEnt", "EventAcqEnt"});
    ASSERT_TRUE(ev.peer->Send(Join({Record(Case("EV"), 0, 2), Record(Case("EV"), 0, 3)})));
    ASSERT_TRUE(ev.Drain(log));
    const auto got = ev.recorder.Deliveries();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "");
    EXPECT_EQ(got[1].name, "Events");
    EXPECT_EQ(got[2].name, "Events");
}

TEST(StreamTypes, WithoutCallbackOrContextRecordsAreDroppedSilently) {
    for (bool withCallback : {false, true}) {
        LogCapture log;
        NodeConnectionClient csc(StreamKind::Csc);
        csc.SetLogFile(log.Log());
        csc.SetObjectNames({}, {});
        if (withCallback) csc.SetCallback(&Recorder::Callback, nullptr);
        ASSERT_TRUE(csc.InitServerStreamOnFreePort());
        Peer peer(csc.ListeningPort());
        ASSERT_TRUE(peer.Send(Join({Record(Case("CSC"), 5, 0), Record(Case("CSC"), -5, 0)})));
        peer.Close();
        ASSERT_TRUE(log.WaitForEntry(GracefulClose(Case("CSC"))));
        EXPECT_EQ(log.Entries().size(), 1u);
        csc.CloseServerStream();
    }
}

TEST(StreamTypes, AnEmptyObjectListMakesEveryNumberInvalid) {
    LogCapture log;
    Stream csc(Case("CSC"), log, {"CSC1"}, {"CscAcqEnt"});
    ASSERT_TRUE(csc.peer->Send(Record(Case("CSC"), 0, 0)));
    ASSERT_TRUE(csc.recorder.WaitFor(1));
    csc.listener.SetObjectNames({}, {});
    ASSERT_TRUE(csc.peer->Send(Record(Case("CSC"), 0, 0)));
    ASSERT_TRUE(csc.Drain(log));
    EXPECT_EQ(csc.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(log.Entries().front(), Case("CSC").invalidNumber + "0");
}

namespace {

struct Throwing {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        ++static_cast<Throwing*>(context)->calls;
        throw std::runtime_error("no room for this record");
    }
    std::atomic<int> calls{0};
};

}  // namespace

TEST(StreamTypes, ACallbacksExceptionIsLoggedOnceAndTheRecordsAfterItAreStillDelivered) {
    LogCapture log;
    Stream vt(Case("VT"), log, {"VT1"}, {"VTAcqEnt"});
    Throwing throwing;
    vt.listener.SetCallback(&Throwing::Callback, &throwing);
    ASSERT_TRUE(
        vt.peer->Send(Join({Record(Case("VT"), 0, 0), Record(Case("VT"), 0, 1), Record(Case("VT"), 0, 2)})));
    ASSERT_TRUE(vt.Drain(log));
    EXPECT_EQ(throwing.calls.load(), 3);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                                 "ERROR NodeConnectionClient::ExecuteCallback() - Error, the record callback "
                                 "threw an exception, the records that follow are still delivered.  what: no "
                                 "room for this record, mStreamType: Video",
                                 GracefulClose(Case("VT"))}));
}

namespace {

struct SelfUnregistering {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<SelfUnregistering*>(context);
        ++self->calls;
        self->listener->SetCallback(nullptr, nullptr);
        self->listener->WaitForEarlierCallbacks();  // its own call: must not wait for itself
    }
    NodeConnectionClient* listener = nullptr;
    int calls = 0;  // receive thread only until the listener is closed
};

}  // namespace

TEST(StreamTypes, ACallbackMayChangeTheRegistrationFromInside) {
    LogCapture log;
    Stream tt(Case("TT"), log, {"TT1"}, {"TTScAcqEnt"});
    SelfUnregistering self;
    self.listener = &tt.listener;
    tt.listener.SetCallback(&SelfUnregistering::Callback, &self);
    ASSERT_TRUE(
        tt.peer->Send(Join({Record(Case("TT"), 0, 0), Record(Case("TT"), 0, 1), Record(Case("TT"), 9, 2)})));
    ASSERT_TRUE(tt.Drain(log));
    tt.listener.CloseServerStream();
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(log.Entries().size(), 3u);  // close lines only: the invalid number came after unregistering
}

TEST(StreamTypes, RegistrationChangesWhileRecordsFlowAreSafe) {
    LogCapture log;
    Stream se(Case("SE"), log, {"a"}, {"SEScAcqEnt"});
    Recorder second(112);
    std::vector<unsigned char> burst;
    for (int i = 0; i < 2000; ++i) {
        const auto r = Record(Case("SE"), 0, static_cast<unsigned char>(i));
        burst.insert(burst.end(), r.begin(), r.end());
    }
    std::thread sender([&] { se.peer->Send(burst); });
    for (int i = 0; i < 200; ++i) {
        se.listener.SetObjectNames({i % 2 ? "a" : "b"}, {"SEScAcqEnt"});
        se.listener.SetCallback(&Recorder::Callback, i % 2 ? &se.recorder : &second);
    }
    sender.join();
    ASSERT_TRUE(se.Drain(log));
    const auto got = se.recorder.Deliveries().size() + second.Deliveries().size();
    EXPECT_EQ(got, 2000u);
    for (const auto& d : second.Deliveries()) EXPECT_TRUE(d.name == "a" || d.name == "b");
}
