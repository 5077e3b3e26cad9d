#include <atomic>
#include <future>
#include <gtest/gtest.h>

#include "comlux/internal/NodeConnectionClient.h"
#include "tests/comlux/listener_test_peer.h"

using namespace listenertest;
using comlux::NodeConnectionClient;
using comlux::StreamKind;

namespace {

constexpr int kSE = 112;
constexpr int kCSC = 1044;
const std::string kGracefulClose =
    "NOTICE NodeConnectionClient::RecieveData() - Attempt to recieve data has failed, socket has been closed "
    "gracefully.  mStreamType: ";

/// A single-electrode listener with one spike object "SE1", logging into `log`, listening.
struct StartedSE {
    explicit StartedSE(LogCapture& log) {
        listener.SetLogFile(log.Log());
        listener.SetObjectNames({"SE1", "SE2"}, {"SEScAcqEnt", "SEScAcqEnt"});
        listener.SetCallback(&Recorder::Callback, &recorder);
        started = listener.InitServerStreamOnFreePort();
    }
    Recorder recorder{kSE};
    NodeConnectionClient listener{StreamKind::SingleElectrode};
    bool started = false;
};

}  // namespace

TEST(ListenerReceive, RecordsAreAssembledFromPiecesAndSplitWhenSharingASegment) {
    LogCapture log;
    StartedSE se(log);
    ASSERT_TRUE(se.started);
    ASSERT_NE(se.listener.ListeningPort(), 0);
    Peer peer(se.listener.ListeningPort());
    ASSERT_TRUE(peer.Connected());

    const auto first = NumberedRecord(kSE, 0, 0x11);
    const auto second = NumberedRecord(kSE, 1, 0x22);
    const auto third = NumberedRecord(kSE, 0, 0x33);
    // The first record in three pieces, the piece boundaries inside the number field and later.
    ASSERT_TRUE(peer.Send({first.begin(), first.begin() + 10}));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(peer.Send({first.begin() + 10, first.begin() + 60}));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(peer.Send({first.begin() + 60, first.end()}));
    // The next two records together with the first piece of a fourth one.
    ASSERT_TRUE(peer.Send(Join({second, third, {0x44, 0x44}})));

    ASSERT_TRUE(se.recorder.WaitFor(3));
    peer.Close();
    ASSERT_TRUE(log.WaitForEntry(kGracefulClose + "SingleElectrode"));
    se.listener.CloseServerStream();

    const auto got = se.recorder.Deliveries();
    ASSERT_EQ(got.size(), 3u);  // the two bytes of the fourth record were never delivered
    EXPECT_EQ(got[0].bytes, first);
    EXPECT_EQ(got[0].name, "SE1");
    EXPECT_EQ(got[0].count, 1);
    EXPECT_EQ(got[1].bytes, second);
    EXPECT_EQ(got[1].name, "SE2");
    EXPECT_EQ(got[2].bytes, third);
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{kGracefulClose + "SingleElectrode", kTerminated, kWaitCompleted}));
}

TEST(ListenerReceive, ConnectionClosedInsideARecordEndsTheThreadWithoutDelivery) {
    LogCapture log;
    NodeConnectionClient csc(StreamKind::Csc);
    Recorder recorder(kCSC);
    csc.SetLogFile(log.Log());
    csc.SetObjectNames({"CSC1"}, {"CscAcqEnt"});
    csc.SetCallback(&Recorder::Callback, &recorder);
    ASSERT_TRUE(csc.InitServerStreamOnFreePort());
    {
        Peer peer(csc.ListeningPort());
        ASSERT_TRUE(peer.Connected());
        ASSERT_TRUE(peer.Send(NumberedRecord(kCSC, 0, 0x5A)));
        ASSERT_TRUE(recorder.WaitFor(1));
        const auto partial = NumberedRecord(kCSC, 0, 0x6B);
        ASSERT_TRUE(peer.Send({partial.begin(), partial.begin() + 500}));
    }
    ASSERT_TRUE(log.WaitForEntry(kGracefulClose + "CSC"));
    // The ended listener accepts no second connection: a new peer's record goes nowhere.
    Peer late(csc.ListeningPort());
    if (late.Connected()) late.Send(NumberedRecord(kCSC, 0, 0x7C));
    csc.CloseServerStream();

    EXPECT_EQ(recorder.Deliveries().size(), 1u);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{kGracefulClose + "CSC", kTerminated, kWaitCompleted}));
    EXPECT_EQ(csc.ListeningPort(), 0);
}

TEST(ListenerReceive, ClosingAListenerNobodyConnectedToEndsTheWaitingThread) {
    LogCapture log;
    StartedSE se(log);
    ASSERT_TRUE(se.started);
    const int port = se.listener.ListeningPort();
    se.listener.CloseServerStream();
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{kTerminated, kWaitCompleted}));
    // The port is free again: nothing listens on it any more.
    EXPECT_FALSE(Peer(port).Connected());
}

TEST(ListenerReceive, ClosingANeverStartedListenerWritesNothing) {
    LogCapture log;
    NodeConnectionClient se(StreamKind::SingleElectrode);
    se.SetLogFile(log.Log());
    se.CloseServerStream();
    se.CloseServerStream();
    EXPECT_TRUE(log.Entries().empty());
}

TEST(ListenerReceive, StartingAgainWithoutClosingReplacesTheOldListener) {
    LogCapture log;
    StartedSE se(log);
    ASSERT_TRUE(se.started);
    const int oldPort = se.listener.ListeningPort();
    ASSERT_TRUE(se.listener.InitServerStreamOnFreePort());
    const int newPort = se.listener.ListeningPort();
    EXPECT_FALSE(Peer(oldPort).Connected());

    Peer peer(newPort);
    ASSERT_TRUE(peer.Connected());
    ASSERT_TRUE(peer.Send(NumberedRecord(kSE, 1, 0x01)));
    ASSERT_TRUE(se.recorder.WaitFor(1));
    EXPECT_EQ(se.recorder.Deliveries()[0].name, "SE2");
    se.listener.CloseServerStream();
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{kTerminated, kWaitCompleted, kTerminated, kWaitCompleted}));
}

TEST(ListenerReceive, RestartOnTheSamePortAfterAConnectionWasServed) {
    LogCapture log;
    StartedSE se(log);
    ASSERT_TRUE(se.started);
    const int port = se.listener.ListeningPort();
    for (int round = 0; round < 2; ++round) {
        Peer peer(port);
        ASSERT_TRUE(peer.Connected()) << "round " << round;
        ASSERT_TRUE(peer.Send(NumberedRecord(kSE, 0, 0x01)));
        ASSERT_TRUE(se.recorder.WaitFor(static_cast<std::size_t>(round + 1)));
        // The listener closes its side first, leaving the port in TIME_WAIT.
        se.listener.CloseServerStream();
        if (round == 0) {
            ASSERT_TRUE(se.listener.InitServerStream(port));
        }
    }
    EXPECT_EQ(se.recorder.Deliveries().size(), 2u);
}

TEST(ListenerReceive, StartFailuresAreReportedAndLeaveNoThread) {
    LogCapture log;
    StartedSE holder(log);
    ASSERT_TRUE(holder.started);
    NodeConnectionClient se(StreamKind::SingleElectrode);
    se.SetLogFile(log.Log());

    EXPECT_FALSE(se.InitServerStream(holder.listener.ListeningPort()));
    EXPECT_FALSE(se.InitServerStream(70000));
    EXPECT_FALSE(se.InitServerStream(-1));
    EXPECT_EQ(se.ListeningPort(), 0);
    se.CloseServerStream();  // closes the half-made socket only: no thread lines
    EXPECT_EQ(
        log.Entries(),
        (std::vector<std::string>{
            "ERROR NodeConnectionClient::BindSocket() - Error Binding Socket, error code: WSAEADDRINUSE - A "
            "process on the computer is already bound to the same fully-qualified address and the socket has "
            "not been marked to allow address reuse with SO_REUSEADDR.  mStreamType: SingleElectrode",
            "ERROR NodeConnectionClient::BindSocket() - Error Binding Socket, invalid port number: 70000  "
            "mStreamType: SingleElectrode",
            "ERROR NodeConnectionClient::BindSocket() - Error Binding Socket, invalid port number: -1  "
            "mStreamType: SingleElectrode"}));
    EXPECT_EQ(se.LastReport(), log.Entries().back().substr(6));
}

TEST(ListenerReceive, StreamObjectsAreCountedByExactName) {
    LogCapture log;
    NodeConnectionClient se(StreamKind::SingleElectrode);
    se.SetLogFile(log.Log());
    const std::string add = "NOTICE NodeConnectionClient::AddStreamObject() - Notice, ";
    const std::string remove = "NOTICE NodeConnectionClient::RemoveStreamObject() - Notice, ";
    const std::string type = ", mStreamType SingleElectrode.";

    EXPECT_TRUE(se.AddStreamObject("Sc1"));
    EXPECT_TRUE(se.AddStreamObject("Sc1"));
    EXPECT_TRUE(se.AddStreamObject("sc1"));
    EXPECT_FALSE(se.RemoveStreamObject("Sc1"));
    EXPECT_TRUE(se.RemoveStreamObject("Sc1"));
    EXPECT_FALSE(se.RemoveStreamObject("Sc1"));
    EXPECT_TRUE(se.RemoveStreamObject("sc1"));

    const std::vector<std::string> expected = {
        add + "Attempting to add object to our stream list, objectName: Sc1" + type,
        add + "Attempt to add stream object to our list was successful.  objectName: Sc1" + type,
        add + "Attempting to add object to our stream list, objectName: Sc1" + type,
        add + "Stream Object is already in our list, count has been incremented.  count: 2" + type,
        add + "Attempting to add object to our stream list, objectName: sc1" + type,
        add + "Attempt to add stream object to our list was successful.  objectName: sc1" + type,
        remove + "Attempting to remove object from our stream list, objectName: Sc1" + type,
        remove + "Stream Object count has been decremented.  count: 1" + type,
        remove + "Attempting to remove object from our stream list, objectName: Sc1" + type,
        remove + "Stream Object count has been decremented.  count: 0" + type,
        remove + "Stream Object count was zero, therefore object has been removed.  objectName: Sc1" + type,
        remove + "Attempting to remove object from our stream list, objectName: Sc1" + type,
        "ERROR NodeConnectionClient::RemoveStreamObject() - Error, Attempt to remove object from our list "
        "failed, "
        "the object was not found.  objectName: Sc1" +
            type,
        remove + "Attempting to remove object from our stream list, objectName: sc1" + type,
        remove + "Stream Object count has been decremented.  count: 0" + type,
        remove + "Stream Object count was zero, therefore object has been removed.  objectName: sc1" + type,
    };
    EXPECT_EQ(log.Entries(), expected);
}

namespace {

/// A callback that blocks until released, to catch the listener in the middle of a delivery.
struct BlockingCallback {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<BlockingCallback*>(context);
        self->entered.set_value();
        self->release.get_future().wait();
        self->finished = true;
    }
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> finished{false};  // written by the receive thread
};

}  // namespace

TEST(ListenerReceive, CloseDuringASlowCallbackWaitsBoundedAndNeverCutsTheCallbackOff) {
    LogCapture log;
    BlockingCallback blocking;
    std::thread releaser;
    {
        NodeConnectionClient se(StreamKind::SingleElectrode);
        se.SetLogFile(log.Log());
        se.SetObjectNames({"SE1"}, {"SEScAcqEnt"});
        se.SetCallback(&BlockingCallback::Callback, &blocking);
        ASSERT_TRUE(se.InitServerStreamOnFreePort());
        Peer peer(se.ListeningPort());
        ASSERT_TRUE(peer.Send(Join({NumberedRecord(kSE, 0, 1), NumberedRecord(kSE, 0, 2)})));
        ASSERT_EQ(blocking.entered.get_future().wait_for(kPatience), std::future_status::ready);

        se.CloseServerStream();  // gives up waiting after its bound; the callback still runs
        EXPECT_FALSE(blocking.finished);
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{kTerminated, kWaitCompleted}));
        releaser = std::thread([&] {
            std::this_thread::sleep_for(100ms);
            blocking.release.set_value();
        });
    }  // destruction joins the thread once the callback has returned
    EXPECT_TRUE(blocking.finished);
    releaser.join();
    // The second record was never delivered: the stop came first.
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{kTerminated, kWaitCompleted}));
}

namespace {

/// Notes, for each record, whether the blocking callback's call had ended by then.
struct AfterBlocking {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<AfterBlocking*>(context);
        self->overlapped = self->overlapped || !self->blocking->finished;
        self->calls.fetch_add(1);
    }
    BlockingCallback* blocking = nullptr;
    bool overlapped = false;    // receive threads only, read after the listener is closed
    std::atomic<int> calls{0};  // written by the receive thread
};

}  // namespace

TEST(ListenerReceive, RestartWhileTheOldThreadIsInACallbackDeliversOnlyOnceThatCallHasEnded) {
    LogCapture log;
    BlockingCallback blocking;
    NodeConnectionClient se(StreamKind::SingleElectrode);
    se.SetLogFile(log.Log());
    se.SetObjectNames({"SE1"}, {"SEScAcqEnt"});
    se.SetCallback(&BlockingCallback::Callback, &blocking);
    ASSERT_TRUE(se.InitServerStreamOnFreePort());
    Peer peer(se.ListeningPort());
    ASSERT_TRUE(peer.Send(NumberedRecord(kSE, 0, 1)));
    ASSERT_EQ(blocking.entered.get_future().wait_for(kPatience), std::future_status::ready);
    se.CloseServerStream();

    AfterBlocking after;
    after.blocking = &blocking;
    se.SetCallback(&AfterBlocking::Callback, &after);
    ASSERT_TRUE(se.InitServerStreamOnFreePort());  // does not wait for the old thread
    Peer second(se.ListeningPort());
    ASSERT_TRUE(second.Send(Join({NumberedRecord(kSE, 0, 9), NumberedRecord(kSE, 0, 10)})));
    blocking.release.set_value();
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (after.calls < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    se.CloseServerStream();
    EXPECT_EQ(after.calls.load(), 2);
    EXPECT_TRUE(blocking.finished);
    EXPECT_FALSE(after.overlapped);
}

TEST(ListenerReceive, DestroyingAStartedListenerStopsItSafely) {
    LogCapture log;
    Recorder recorder(kSE);
    auto se = std::make_unique<NodeConnectionClient>(StreamKind::SingleElectrode);
    se->SetLogFile(log.Log());
    se->SetObjectNames({"SE1"}, {"SEScAcqEnt"});
    se->SetCallback(&Recorder::Callback, &recorder);
    ASSERT_TRUE(se->InitServerStreamOnFreePort());
    Peer peer(se->ListeningPort());
    ASSERT_TRUE(peer.Send(NumberedRecord(kSE, 0, 3)));
    ASSERT_TRUE(recorder.WaitFor(1));
    se.reset();
    EXPECT_TRUE(log.Entries().empty());
}

TEST(ListenerReceive, OnlyTheServersAddressIsLetInAndOthersAreRefusedWhileTheListenerWaitsOn) {
    const std::string here = NonLoopbackAddress();
    if (here.empty()) GTEST_SKIP() << "this computer has no address but loopback";
    LogCapture log;
    Recorder recorder(kSE);
    NodeConnectionClient se(StreamKind::SingleElectrode);
    se.SetLogFile(log.Log());
    se.SetObjectNames({"SE1"}, {"SEScAcqEnt"});
    se.SetCallback(&Recorder::Callback, &recorder);
    se.SetEndpoints(here, here);  // as for a server reached at this computer's own address
    ASSERT_TRUE(se.InitServerStreamOnFreePort());

    // Not offered on every interface: loopback does not reach it.
    EXPECT_FALSE(Peer(se.ListeningPort(), "127.0.0.1").Connected());
    // A stranger connecting first is refused, and the listener goes on waiting for the server.
    Peer stranger(se.ListeningPort(), here, "127.0.0.1");
    ASSERT_TRUE(stranger.Connected());
    const std::string refused =
        "ERROR NodeConnectionClient::AcceptClientSocket() - Error, refused a connection "
        "from 127.0.0.1, only the server may connect.  mStreamType: SingleElectrode";
    ASSERT_TRUE(log.WaitForEntry(refused));
    stranger.Send(NumberedRecord(kSE, 0, 0x66));  // goes nowhere

    Peer server(se.ListeningPort(), here);
    ASSERT_TRUE(server.Connected());
    ASSERT_TRUE(server.Send(NumberedRecord(kSE, 0, 0x11)));
    ASSERT_TRUE(recorder.WaitFor(1));
    se.CloseServerStream();
    const auto got = recorder.Deliveries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, NumberedRecord(kSE, 0, 0x11));
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{refused, kTerminated, kWaitCompleted}));
}

TEST(ListenerReceive, ALoopbackServerMayConnectFromAnyLoopbackAddress) {
    LogCapture log;
    StartedSE se(log);  // the server at 127.0.0.1
    ASSERT_TRUE(se.started);
    Peer server(se.listener.ListeningPort(), "127.0.0.1", "127.0.0.2");
    ASSERT_TRUE(server.Connected());
    ASSERT_TRUE(server.Send(NumberedRecord(kSE, 1, 0x22)));
    ASSERT_TRUE(se.recorder.WaitFor(1));
    EXPECT_EQ(se.recorder.Deliveries()[0].name, "SE2");
}

TEST(ListenerReceive, PortsAreTakenFromOneTo65535Only) {
    LogCapture log;
    NodeConnectionClient se(StreamKind::SingleElectrode);
    se.SetLogFile(log.Log());
    const std::string invalid =
        "ERROR NodeConnectionClient::BindSocket() - Error Binding Socket, invalid port number: ";
    for (const int port : {0, 65536}) {
        EXPECT_FALSE(se.InitServerStream(port));
        EXPECT_EQ(log.Entries().back(), invalid + std::to_string(port) + "  mStreamType: SingleElectrode");
    }
    // The ends of the range are ports: whether they can be bound is the system's business.
    for (const int port : {1, 65535}) {
        const std::size_t before = log.Entries().size();
        const bool started = se.InitServerStream(port);
        const auto entries = log.Entries();
        for (std::size_t i = before; i < entries.size(); ++i)
            EXPECT_EQ(entries[i].find("invalid port number"), std::string::npos) << entries[i];
        if (started) {
            EXPECT_EQ(se.ListeningPort(), port);
        }
        se.CloseServerStream();
    }
}
