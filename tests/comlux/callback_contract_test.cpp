// Record callbacks that call back into the client while records flow fast: sending commands,
// registering callbacks, closing, reconnecting and destroying the client, from inside and from
// outside the callbacks. Each scenario runs under a watchdog: a deadlock fails instead of hanging.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>

#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"
#include "tests/comlux/Watchdog.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using comluxtest::Watchdog;

constexpr auto kLimit = 20s;
constexpr const char* kPostEvent = "-PostEvent \"record\" 0 0";

/// Counts calls and lets a test wait until enough have happened.
class CallCounter {
public:
    void Add() {
        {
            std::lock_guard lock(mLock);
            ++mCount;
        }
        mChanged.notify_all();
    }
    /// True once `count` calls have happened (false after a generous wait).
    bool WaitFor(int count) {
        std::unique_lock lock(mLock);
        return mChanged.wait_for(lock, kLimit, [&] { return mCount >= count; });
    }
    int Count() {
        std::lock_guard lock(mLock);
        return mCount;
    }

private:
    std::mutex mLock;
    std::condition_variable mChanged;
    int mCount = 0;
};

class CallbackContractTest : public testing::Test {
protected:
    void SetUp() override {
        galdera::ServerOptions options;
        options.recordsPerSecond = 20000;
        server = testsupport::StartStandIn(options);
        ASSERT_NE(server, nullptr);
    }

    /// A connected client whose SE1 and event streams are open.
    std::unique_ptr<comlux::ComluxClient> Connect() {
        auto client = std::make_unique<comlux::ComluxClient>();
        client->SetPorts(server->HandoutPort(), server->CommandPort());
        client->OpenLogFile(dir.File("log.txt"));
        if (!OpenStreams(*client)) ADD_FAILURE() << "could not connect and open the streams";
        return client;
    }

    static bool OpenStreams(comlux::ComluxClient& client) {
        std::vector<std::string> objects;
        std::vector<std::string> types;
        return client.OpenConnection("127.0.0.1", true) && client.GetObjectsAndTypes(objects, types) &&
               client.OpenStream("SE1", "SEScAcqEnt") && client.OpenStream("Events", "EventAcqEnt");
    }

    testsupport::TempDir dir;
    std::unique_ptr<galdera::GalderaServer> server;
};

/// Posts an event for every record it receives.
struct Poster {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<Poster*>(context);
        std::string answer;
        if (self->client->SendCommand(kPostEvent, answer)) self->answered.Add();
        self->calls.Add();
    }
    comlux::ComluxClient* client = nullptr;
    CallCounter calls;
    CallCounter answered;
};

TEST_F(CallbackContractTest, DestroyingTheClientWhileACallbackSendsCommands) {
    for (int round = 0; round < 3; ++round) {
        Poster poster;
        auto client = Connect();
        poster.client = client.get();
        client->SetCallbackSE(&Poster::Callback, &poster);
        ASSERT_TRUE(poster.answered.WaitFor(20)) << "round " << round;
        Watchdog watchdog(kLimit, "destroying the client");
        client.reset();
    }
}

TEST_F(CallbackContractTest, ClosingAndOpeningAgainWhileACallbackSendsCommands) {
    Poster poster;
    auto client = Connect();
    poster.client = client.get();
    client->SetCallbackSE(&Poster::Callback, &poster);
    std::chrono::steady_clock::duration closing{};
    for (int round = 0; round < 3; ++round) {
        const int before = poster.answered.Count();
        ASSERT_TRUE(poster.answered.WaitFor(before + 20)) << "round " << round;
        Watchdog watchdog(kLimit, "closing and opening again");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(client->CloseConnection());
        closing += std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(OpenStreams(*client));
    }
    // A callback waiting for the client lets go as soon as its stream is told to stop: the close
    // never sits out the 500 ms it would wait for that callback.
    EXPECT_LT(closing, 1200ms);
    Watchdog watchdog(kLimit, "destroying the client");
    client.reset();
}

/// The single-electrode and event callbacks each register the other's callback anew (or remove
/// it) from inside, while both streams deliver.
struct CrossRegistering {
    static void SpikeCallback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<CrossRegistering*>(context);
        const bool on = self->spikes.Count() % 2 == 0;
        self->client->SetCallbackEV(on ? &EventCallback : nullptr, on ? self : nullptr);
        self->spikes.Add();
    }
    static void EventCallback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<CrossRegistering*>(context);
        self->client->SetCallbackSE(&SpikeCallback, self);
        self->events.Add();
    }
    comlux::ComluxClient* client = nullptr;
    CallCounter spikes;
    CallCounter events;
};

TEST_F(CallbackContractTest, CallbacksRegisteringEachOthersCallbacksWhileRecordsFlow) {
    CrossRegistering cross;
    auto client = Connect();
    cross.client = client.get();
    {
        Watchdog watchdog(kLimit, "callbacks registering callbacks");
        client->SetCallbackEV(&CrossRegistering::EventCallback, &cross);
        client->SetCallbackSE(&CrossRegistering::SpikeCallback, &cross);
        ASSERT_TRUE(cross.spikes.WaitFor(200));
        ASSERT_TRUE(cross.events.WaitFor(20));
    }
    Watchdog watchdog(kLimit, "destroying the client");
    client.reset();
}

/// A slow callback whose context is freed right after it has been unregistered.
struct SlowContext {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<SlowContext*>(context);
        self->entered.Add();
        // Slow: it takes a while unless the test lets it go early.
        self->release.wait_for(200ms);
        self->finishedCalls.fetch_add(1);  // touches the context after the wait
    }
    std::shared_future<void> release;
    CallCounter entered;
    std::atomic<int> finishedCalls{0};
};

TEST_F(CallbackContractTest, UnregisteringReturnsOnlyOnceTheRunningCallHasEnded) {
    auto client = Connect();
    for (int round = 0; round < 3; ++round) {
        std::promise<void> release;
        auto context = std::make_unique<SlowContext>();
        context->release = release.get_future().share();
        client->SetCallbackSE(&SlowContext::Callback, context.get());
        ASSERT_TRUE(context->entered.WaitFor(1));
        {
            Watchdog watchdog(kLimit, "unregistering a slow callback");
            client->SetCallbackSE(nullptr, nullptr);
        }
        // No call may still be running: the context goes now.
        EXPECT_EQ(context->finishedCalls.load(), context->entered.Count());
        release.set_value();
        context.reset();
    }
}

/// Destroys the client from inside its first call.
struct SelfDestroying {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<SelfDestroying*>(context);
        if (comlux::ComluxClient* client = self->client.exchange(nullptr)) {
            delete client;
            self->destroyed.set_value();
        }
    }
    std::atomic<comlux::ComluxClient*> client{nullptr};
    std::promise<void> destroyed;
};

TEST_F(CallbackContractTest, DestroyingTheClientFromInsideACallback) {
    SelfDestroying self;
    auto destroyed = self.destroyed.get_future();
    auto client = Connect();
    client->SetCallbackSE(&SelfDestroying::Callback, &self);
    self.client = client.release();
    Watchdog watchdog(kLimit, "destroying the client from inside a callback");
    ASSERT_EQ(destroyed.wait_for(kLimit), std::future_status::ready);
    EXPECT_TRUE(
        testsupport::ReadFile(dir.File("log.txt")).ends_with("Log File Closed - End of File\r\r\n\r\n"));
}

/// In its first call waits until another thread is replacing this very callback (and so waits
/// for the call to end), then destroys the client.
struct DestroyingWhileReplaced {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<DestroyingWhileReplaced*>(context);
        comlux::ComluxClient* client = self->client.exchange(nullptr);
        if (client == nullptr) return;
        self->entered.set_value();
        self->replacing.get_future().wait();
        std::this_thread::sleep_for(100ms);  // lets the replacing thread reach its wait
        delete client;
    }
    static void Other(void*, const unsigned char*, int, std::string) {}
    std::atomic<comlux::ComluxClient*> client{nullptr};
    std::promise<void> entered;
    std::promise<void> replacing;
};

TEST_F(CallbackContractTest, DestroyingTheClientFromACallbackWhileAnotherThreadReplacesThatCallback) {
    DestroyingWhileReplaced self;
    auto entered = self.entered.get_future();
    auto client = Connect();
    comlux::ComluxClient* raw = client.get();
    client->SetCallbackSE(&DestroyingWhileReplaced::Callback, &self);
    self.client = client.release();
    Watchdog watchdog(kLimit, "destroying the client while its callback is replaced");
    ASSERT_EQ(entered.wait_for(kLimit), std::future_status::ready);
    self.replacing.set_value();
    raw->SetCallbackSE(&DestroyingWhileReplaced::Other, &self);  // returns once the destroying call ended
}

/// Destroys the client while another thread's command waits for an answer that never comes: the
/// waiting thread lets go of the client just as the destroyer finishes with it.
TEST(CallbackContractScriptedTest, DestroyingTheClientAsAnotherThreadsCommandEnds) {
    for (int round = 0; round < 20; ++round) {
        testsupport::ScriptedPeer peer;
        peer.Answer("G A");
        for (int i = 0; i < 6; ++i) peer.Answer("0 0").Answer("0");
        peer.Answer("0").ReadFrame().ExpectClose();
        peer.Start();
        auto client = std::make_unique<comlux::ComluxClient>();
        client->SetPorts(testsupport::UnusedLoopbackPort(), peer.Port());
        ASSERT_TRUE(client->OpenConnection("127.0.0.1", false));
        comlux::ComluxClient* raw = client.get();
        std::thread sender([raw] {
            std::string answer;
            raw->SendCommand("-Waits", answer);
        });
        while (peer.Commands().size() < 15) std::this_thread::sleep_for(1ms);
        {
            Watchdog watchdog(kLimit, "destroying the client under a waiting command");
            client.reset();
        }
        sender.join();
        EXPECT_TRUE(peer.Finish());
    }
}

/// Closes the connection from inside a call and connects again, then counts the records of the
/// new connection.
struct Reconnecting {
    static void Callback(void* context, const unsigned char*, int, std::string) {
        auto* self = static_cast<Reconnecting*>(context);
        if (!self->reconnected.exchange(true)) {
            self->closed = self->client->CloseConnection();
            self->opened = OpenAgain(*self->client);
            return;
        }
        self->afterwards.Add();
    }
    static bool OpenAgain(comlux::ComluxClient& client) {
        std::vector<std::string> objects;
        std::vector<std::string> types;
        return client.OpenConnection("127.0.0.1", true) && client.GetObjectsAndTypes(objects, types) &&
               client.OpenStream("SE1", "SEScAcqEnt");
    }
    comlux::ComluxClient* client = nullptr;
    std::atomic<bool> reconnected{false};
    bool closed = false;  // written inside the first call, read after later calls were counted
    bool opened = false;
    CallCounter afterwards;
};

TEST_F(CallbackContractTest, ClosingAndReconnectingFromInsideACallback) {
    Reconnecting reconnecting;
    auto client = Connect();
    reconnecting.client = client.get();
    Watchdog watchdog(kLimit, "reconnecting from inside a callback");
    client->SetCallbackSE(&Reconnecting::Callback, &reconnecting);
    ASSERT_TRUE(reconnecting.afterwards.WaitFor(20));
    EXPECT_TRUE(reconnecting.closed);
    EXPECT_TRUE(reconnecting.opened);
    client.reset();
}

}  // namespace
