#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "comlux/internal/NodeConnectionClientCSC.h"
#include "comlux/internal/NodeConnectionClientEV.h"
#include "comlux/internal/NodeConnectionClientSE.h"
#include "comlux/internal/NodeConnectionClientST.h"
#include "comlux/internal/NodeConnectionClientTT.h"
#include "comlux/internal/NodeConnectionClientVT.h"
#include "tests/comlux/listener_test_peer.h"

using namespace listenertest;
using comlux::NodeConnectionClient;

namespace {

using Setter = void (NodeConnectionClient::*)(comlux::RecordCallback, void*);
const Setter kAllSetters[] = {&NodeConnectionClient::SetCallbackSE, &NodeConnectionClient::SetCallbackST,
                              &NodeConnectionClient::SetCallbackTT, &NodeConnectionClient::SetCallbackCSC,
                              &NodeConnectionClient::SetCallbackEV, &NodeConnectionClient::SetCallbackVT};

struct StreamKind {
    std::string label;
    std::function<std::unique_ptr<NodeConnectionClient>()> make;
    Setter setter;
    int recordSize;
    std::string kindWord;
    std::string dataType;
};

const StreamKind kKinds[] = {
    {"SE", [] { return std::make_unique<comlux::NodeConnectionClientSE>(); },
     &NodeConnectionClient::SetCallbackSE, 112, "SingleElectrode", "SEScAcqEnt"},
    {"ST", [] { return std::make_unique<comlux::NodeConnectionClientST>(); },
     &NodeConnectionClient::SetCallbackST, 176, "Stereotrode", "STScAcqEnt"},
    {"TT", [] { return std::make_unique<comlux::NodeConnectionClientTT>(); },
     &NodeConnectionClient::SetCallbackTT, 304, "Tetrode", "TTScAcqEnt"},
    {"CSC", [] { return std::make_unique<comlux::NodeConnectionClientCSC>(); },
     &NodeConnectionClient::SetCallbackCSC, 1044, "CSC", "CscAcqEnt"},
    {"EV", [] { return std::make_unique<comlux::NodeConnectionClientEV>(); },
     &NodeConnectionClient::SetCallbackEV, 184, "Event", "EventAcqEnt"},
    {"VT", [] { return std::make_unique<comlux::NodeConnectionClientVT>(); },
     &NodeConnectionClient::SetCallbackVT, 1828, "Video", "VTAcqEnt"},
};

const StreamKind& Kind(const std::string& label) {
    for (const auto& kind : kKinds) {
        if (kind.label == label) return kind;
    }
    throw std::invalid_argument(label);
}

/// A started listener of one kind, with a recorder registered through the kind's own setter
/// and a connected peer.
struct Stream {
    Stream(const StreamKind& kind, LogCapture& log, const std::vector<std::string>& names,
           const std::vector<std::string>& types)
        : recorder(kind.recordSize), listener(kind.make()) {
        listener->SetLogFile(log.Log());
        listener->SetObjectNames(names, types);
        (listener.get()->*kind.setter)(&Recorder::Callback, &recorder);
        started = listener->InitServerStreamOnFreePort();
        peer = std::make_unique<Peer>(listener->ListeningPort());
    }
    ~Stream() { listener->CloseServerStream(); }
    /// Closes the peer and waits until the listener has read everything before the close.
    bool Drain(LogCapture& log) {
        peer->Close();
        return log.WaitForEntry(
            "NOTICE NodeConnectionClient::RecieveData() - Attempt to recieve data has failed, socket has "
            "been "
            "closed gracefully.  mStreamType: " +
            listener->StreamType());
    }

    Recorder recorder;
    std::unique_ptr<NodeConnectionClient> listener;
    std::unique_ptr<Peer> peer;
    bool started = false;
};

/// A video tracker record whose id field at offset 2 holds `id`.
std::vector<unsigned char> TrackerRecord(std::uint16_t id, unsigned char fill) {
    std::vector<unsigned char> record(1828, fill);
    record[2] = static_cast<unsigned char>(id & 0xFF);
    record[3] = static_cast<unsigned char>(id >> 8);
    // Zero where the spike and channel types keep their number, so reading there would succeed.
    for (int i = 8; i < 12; ++i) record[static_cast<std::size_t>(i)] = 0;
    return record;
}

std::string InvalidSpike(const std::string& type, int number) {
    return "ERROR NodeConnectionClient" + type +
           "::ExecuteCallback() - Error, we have encountered an invalid spike channel number from our comlux "
           "buffer.  scNumber: " +
           std::to_string(number);
}

}  // namespace

class EveryStreamType : public testing::TestWithParam<StreamKind> {};

TEST_P(EveryStreamType, ReadsWholeRecordsOfItsSizeAndIgnoresOtherTypesSetters) {
    const StreamKind& kind = GetParam();
    LogCapture log;
    Stream stream(kind, log, {"first", "second"}, {kind.dataType, kind.dataType});
    ASSERT_TRUE(stream.started);
    EXPECT_EQ(stream.listener->StreamType(), kind.kindWord);
    Recorder other(kind.recordSize);
    for (Setter setter : kAllSetters) {
        if (setter != kind.setter) (stream.listener.get()->*setter)(&Recorder::Callback, &other);
    }
    // Number 0 (offset 8) and id 0 (offset 2) both select the first object.
    std::vector<unsigned char> a(static_cast<std::size_t>(kind.recordSize), 0x00);
    std::vector<unsigned char> b(static_cast<std::size_t>(kind.recordSize), 0x00);
    for (std::size_t i = 12; i < a.size(); ++i) {
        a[i] = static_cast<unsigned char>(i);
        b[i] = static_cast<unsigned char>(~i);
    }
    ASSERT_TRUE(stream.peer->Send(Join({a, b})));
    ASSERT_TRUE(stream.Drain(log));

    const auto got = stream.recorder.Deliveries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, a);
    EXPECT_EQ(got[1].bytes, b);
    EXPECT_EQ(got[0].name, "first");
    EXPECT_EQ(got[1].name, "first");
    EXPECT_TRUE(other.Deliveries().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryStreamType, testing::ValuesIn(kKinds),
                         [](const auto& info) { return info.param.label; });

TEST(StreamTypes, SpikeNumbersIndexAllSpikeObjectsInTheServersOrder) {
    LogCapture log;
    // One name more than types (skipped), and a type differing only in letter case (not accepted).
    const std::vector<std::string> names = {"SE1", "CSC1", "TT1", "Odd", "ST1", "Untyped"};
    const std::vector<std::string> types = {"SEScAcqEnt", "CscAcqEnt", "TTScAcqEnt", "sescacqent",
                                            "STScAcqEnt"};
    Stream tt(Kind("TT"), log, names, types);
    Stream se(Kind("SE"), log, names, types);
    Stream st(Kind("ST"), log, names, types);
    Stream csc(Kind("CSC"), log, names, types);

    ASSERT_TRUE(tt.peer->Send(NumberedRecord(304, 1, 0)));
    ASSERT_TRUE(se.peer->Send(Join({NumberedRecord(112, 2, 0), NumberedRecord(112, 3, 0)})));
    ASSERT_TRUE(st.peer->Send(NumberedRecord(176, 0, 0)));
    ASSERT_TRUE(csc.peer->Send(Join({NumberedRecord(1044, 0, 0), NumberedRecord(1044, 1, 0)})));
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
    EXPECT_EQ(std::count(entries.begin(), entries.end(), InvalidSpike("SE", 3)), 1);
    EXPECT_EQ(
        std::count(entries.begin(), entries.end(),
                   "ERROR NodeConnectionClientCSC::ExecuteCallback() - Error, we have encountered an invalid "
                   "channel number from our comlux buffer.  chanNumber: 1"),
        1);
}

TEST(StreamTypes, NumbersOutsideTheTableAreReportedAndReceivingGoesOn) {
    LogCapture log;
    Stream se(Kind("SE"), log, {"a", "b"}, {"SEScAcqEnt", "TTScAcqEnt"});
    ASSERT_TRUE(se.peer->Send(Join({NumberedRecord(112, 2, 0), NumberedRecord(112, -1, 0),
                                    NumberedRecord(112, INT32_MIN, 0), NumberedRecord(112, 1, 0)})));
    ASSERT_TRUE(se.Drain(log));
    ASSERT_EQ(se.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(se.recorder.Deliveries()[0].name, "b");
    const auto entries = log.Entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[0], InvalidSpike("SE", 2));
    EXPECT_EQ(entries[1], InvalidSpike("SE", -1));
    EXPECT_EQ(entries[2], InvalidSpike("SE", INT32_MIN));
}

TEST(StreamTypes, TrackerIdIsUnsignedLittleEndianSixteenBitsAtOffsetTwo) {
    LogCapture log;
    Stream vt(Kind("VT"), log, {"VT0", "VT1", "VT2"}, {"VTAcqEnt", "VTAcqEnt", "VTAcqEnt"});
    // Read big-endian, 0x0002 would be 512 and 0x0100 would be 1; read signed, 0xFFFE would be -2.
    ASSERT_TRUE(vt.peer->Send(Join({TrackerRecord(0x0100, 1), TrackerRecord(0x0002, 2),
                                    TrackerRecord(0xFFFE, 3), TrackerRecord(1, 4)})));
    ASSERT_TRUE(vt.Drain(log));
    const auto got = vt.recorder.Deliveries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, "VT2");
    EXPECT_EQ(got[0].bytes, TrackerRecord(0x0002, 2));
    EXPECT_EQ(got[1].name, "VT1");
    EXPECT_EQ(got[1].bytes, TrackerRecord(1, 4));
    const std::string prefix =
        "ERROR NodeConnectionClientVT::ExecuteCallback() - Error, we have encountered an invalid video "
        "tracker ID "
        "from our comlux buffer.  id: ";
    const auto entries = log.Entries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0], prefix + "256");
    EXPECT_EQ(entries[1], prefix + "65534");
}

TEST(StreamTypes, EventRecordsCarryTheFirstEventObjectsName) {
    LogCapture log;
    Stream ev(Kind("EV"), log, {}, {});
    const std::vector<unsigned char> record(184, 0xEE);
    ASSERT_TRUE(ev.peer->Send(record));
    ASSERT_TRUE(ev.recorder.WaitFor(1));
    ev.listener->SetObjectNames({"Events", "VT1", "Events2"}, {"EventAcqEnt", "VTAcqEnt", "EventAcqEnt"});
    ASSERT_TRUE(ev.peer->Send(Join({record, record})));
    ASSERT_TRUE(ev.Drain(log));
    const auto got = ev.recorder.Deliveries();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "");
    EXPECT_EQ(got[1].name, "Events");
    EXPECT_EQ(got[2].name, "Events");
    EXPECT_EQ(log.Entries().size(), 1u);  // only the close
}

TEST(StreamTypes, WithoutCallbackOrContextRecordsAreDroppedSilently) {
    for (bool withCallback : {false, true}) {
        LogCapture log;
        comlux::NodeConnectionClientCSC csc;
        csc.SetLogFile(log.Log());
        csc.SetObjectNames({}, {});
        if (withCallback) csc.SetCallbackCSC(&Recorder::Callback, nullptr);
        ASSERT_TRUE(csc.InitServerStreamOnFreePort());
        Peer peer(csc.ListeningPort());
        ASSERT_TRUE(peer.Send(Join({NumberedRecord(1044, 5, 0), NumberedRecord(1044, -5, 0)})));
        peer.Close();
        ASSERT_TRUE(
            log.WaitForEntry("NOTICE NodeConnectionClient::RecieveData() - Attempt to recieve data has "
                             "failed, socket has been "
                             "closed gracefully.  mStreamType: CSC"));
        EXPECT_EQ(log.Entries().size(), 1u);
        csc.CloseServerStream();
    }
}

TEST(StreamTypes, AnEmptyObjectListMakesEveryNumberInvalid) {
    LogCapture log;
    Stream csc(Kind("CSC"), log, {"CSC1"}, {"CscAcqEnt"});
    ASSERT_TRUE(csc.peer->Send(NumberedRecord(1044, 0, 0)));
    ASSERT_TRUE(csc.recorder.WaitFor(1));
    csc.listener->SetObjectNames({}, {});
    ASSERT_TRUE(csc.peer->Send(NumberedRecord(1044, 0, 0)));
    ASSERT_TRUE(csc.Drain(log));
    EXPECT_EQ(csc.recorder.Deliveries().size(), 1u);
    EXPECT_EQ(
        log.Entries().front(),
        "ERROR NodeConnectionClientCSC::ExecuteCallback() - Error, we have encountered an invalid channel "
        "number from our comlux buffer.  chanNumber: 0");
}

namespace {

struct SelfUnregistering {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<SelfUnregistering*>(context);
        ++self->calls;
        self->listener->SetCallbackTT(nullptr, nullptr);
    }
    NodeConnectionClient* listener = nullptr;
    int calls = 0;  // receive thread only until the listener is closed
};

}  // namespace

TEST(StreamTypes, ACallbackMayChangeTheRegistrationFromInside) {
    LogCapture log;
    Stream tt(Kind("TT"), log, {"TT1"}, {"TTScAcqEnt"});
    SelfUnregistering self;
    self.listener = tt.listener.get();
    tt.listener->SetCallbackTT(&SelfUnregistering::Callback, &self);
    ASSERT_TRUE(tt.peer->Send(
        Join({NumberedRecord(304, 0, 0), NumberedRecord(304, 0, 0), NumberedRecord(304, 9, 0)})));
    ASSERT_TRUE(tt.Drain(log));
    tt.listener->CloseServerStream();
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(log.Entries().size(), 3u);  // close lines only: the invalid number came after unregistering
}

TEST(StreamTypes, RegistrationChangesWhileRecordsFlowAreSafe) {
    LogCapture log;
    Stream se(Kind("SE"), log, {"a"}, {"SEScAcqEnt"});
    Recorder second(112);
    std::vector<unsigned char> burst;
    for (int i = 0; i < 2000; ++i) {
        const auto r = NumberedRecord(112, 0, static_cast<unsigned char>(i));
        burst.insert(burst.end(), r.begin(), r.end());
    }
    std::thread sender([&] { se.peer->Send(burst); });
    for (int i = 0; i < 200; ++i) {
        se.listener->SetObjectNames({i % 2 ? "a" : "b"}, {"SEScAcqEnt"});
        se.listener->SetCallbackSE(&Recorder::Callback, i % 2 ? &se.recorder : &second);
    }
    sender.join();
    ASSERT_TRUE(se.Drain(log));
    const auto got = se.recorder.Deliveries().size() + second.Deliveries().size();
    EXPECT_EQ(got, 2000u);
    for (const auto& d : second.Deliveries()) EXPECT_TRUE(d.name == "a" || d.name == "b");
}
