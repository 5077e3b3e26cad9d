#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/socket.h>
#include <thread>

#include "galdera/GalderaServer.h"
#include "tests/galdera/RawPeer.h"

using namespace std::chrono_literals;
using galdera::GalderaServer;
using galdera::ServerOptions;
using galdera_test::Bytes;
using galdera_test::Le32;
using galdera_test::Listener;
using galdera_test::Peer;

namespace {

std::multiset<std::uint32_t> Repeated(std::size_t count, std::uint32_t number) {
    std::multiset<std::uint32_t> numbers;
    for (std::size_t i = 0; i < count; ++i) numbers.insert(number);
    return numbers;
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ServerOptions options;
        options.handoutPort = 0;
        options.commandPort = 0;
        options.recordsPerSecond = 2000;
        server = std::make_unique<GalderaServer>(options);
        ASSERT_TRUE(server->Start());
        ASSERT_TRUE(client.Connect(server->CommandPort()));
    }

    /// Asks the server to connect a stream of `type` to `listener`, as announced from `address`.
    Peer CreateStream(Listener& listener, const std::string& type, const std::string& address = "127.0.0.1") {
        EXPECT_EQ(
            client.Command("-CreateStream " + address + " " + std::to_string(listener.Port()) + " " + type),
            "0");
        return Peer(listener.Accept());
    }

    /// The numbers carried by the next `count` records of `size` bytes, read at `offset`.
    static std::multiset<std::uint32_t> Numbers(Peer& stream, std::size_t size, std::size_t count,
                                                std::size_t offset, bool sixteenBits = false) {
        std::multiset<std::uint32_t> numbers;
        const auto bytes = stream.Read(size * count);
        EXPECT_TRUE(bytes);
        if (!bytes) return numbers;
        for (std::size_t record = 0; record < count; ++record) {
            const std::size_t at = record * size + offset;
            numbers.insert(sixteenBits ? static_cast<std::uint32_t>((*bytes)[at] | (*bytes)[at + 1] << 8)
                                       : Le32(*bytes, at));
        }
        return numbers;
    }

    /// Reads records of `size` bytes one at a time until `count` records in a row carry `number`
    /// at `offset`; false when that does not happen within `limit` records. Records sent before a
    /// change of the open objects may still be under way on a busy machine: this waits them out.
    static bool ReadUntilRunOf(Peer& stream, std::size_t size, std::size_t offset, std::uint32_t number,
                               std::size_t count, std::size_t limit = 20000) {
        std::size_t run = 0;
        for (std::size_t read = 0; read < limit && run < count; ++read) {
            const auto bytes = stream.Read(size);
            if (!bytes) return false;
            run = Le32(*bytes, offset) == number ? run + 1 : 0;
        }
        return run == count;
    }

    std::unique_ptr<GalderaServer> server;
    Peer client;
};

TEST_F(StreamTest, EachTypeCarriesWholeRecordsWithItsObjectNumber) {
    struct Case {
        const char* type;
        const char* object;
        std::size_t size;
        std::size_t offset;
        bool sixteenBits;
        std::uint32_t number;
    };
    // Spike numbers count all spike objects: SE1 SE2 SE3 "SE Ref" ST1 TT1 TT2.
    const Case cases[] = {
        {"SEScAcqEnt", "SE Ref", 112, 8, false, 3}, {"STScAcqEnt", "ST1", 176, 8, false, 4},
        {"TTScAcqEnt", "TT2", 304, 8, false, 6},    {"CscAcqEnt", "CSC3", 1044, 8, false, 2},
        {"VTAcqEnt", "VT1", 1828, 2, true, 0},
    };
    for (const Case& c : cases) {
        Listener listener;
        Peer stream = CreateStream(listener, c.type);
        ASSERT_GE(stream.Fd(), 0) << c.type;
        EXPECT_TRUE(stream.Silent(50ms)) << "records before any object was opened on " << c.type;
        EXPECT_EQ(client.Command(std::string("-OpenStream ") + c.object + " " + c.type), "0");
        const auto numbers = Numbers(stream, c.size, 20, c.offset, c.sixteenBits);
        EXPECT_EQ(numbers, Repeated(20, c.number)) << c.type;
    }
}

TEST_F(StreamTest, EventStreamCarriesRecordsOfItsSize) {
    Listener listener;
    Peer stream = CreateStream(listener, "EventAcqEnt");
    EXPECT_EQ(client.Command("-OpenStream Events EventAcqEnt"), "0");
    const auto bytes = stream.Read(184 * 10);
    ASSERT_TRUE(bytes);
    // Every record carries a timestamp that does not go backwards.
    std::uint64_t previous = 0;
    for (std::size_t record = 0; record < 10; ++record) {
        std::uint64_t stamp = 0;
        for (int i = 7; i >= 0; --i)
            stamp = stamp << 8 | (*bytes)[record * 184 + 6 + static_cast<std::size_t>(i)];
        EXPECT_GE(stamp, previous);
        previous = stamp;
    }
}

TEST_F(StreamTest, TwoObjectsShareAStreamAndCloseStopsOnlyTheClosedOne) {
    Listener listener;
    Peer stream = CreateStream(listener, "CscAcqEnt");
    EXPECT_EQ(client.Command("-OpenStream CSC1 CscAcqEnt"), "0");
    EXPECT_EQ(client.Command("-OpenStream CSC4 CscAcqEnt"), "0");
    // Records of CSC1 alone, sent before CSC4 was opened, may still be under way.
    ASSERT_TRUE(ReadUntilRunOf(stream, 1044, 8, 3, 1));
    const auto numbers = Numbers(stream, 1044, 200, 8);
    EXPECT_GT(numbers.count(0), 0u);
    EXPECT_GT(numbers.count(3), 0u);
    EXPECT_EQ(numbers.count(0) + numbers.count(3), 200u);

    EXPECT_EQ(client.Command("-CloseStream CSC1 CscAcqEnt"), "0");
    // After the records already under way, only CSC4 remains.
    EXPECT_TRUE(ReadUntilRunOf(stream, 1044, 8, 3, 100));

    EXPECT_EQ(client.Command("-CloseStream CSC4 CscAcqEnt"), "0");
    // Drain what was sent before the close, then nothing more comes, and what came was whole records.
    std::size_t drained = 0;
    while (!stream.Silent(300ms)) {
        unsigned char scratch[65536];
        const ssize_t n = recv(stream.Fd(), scratch, sizeof scratch, 0);
        ASSERT_GT(n, 0);
        drained += static_cast<std::size_t>(n);
        ASSERT_LT(drained, 1044u * 100000u) << "records keep coming after the close";
    }
    EXPECT_EQ(drained % 1044, 0u);
}

TEST_F(StreamTest, OpenStreamRefusesObjectsUnderAnotherType) {
    EXPECT_EQ(client.Command("-OpenStream CSC1 SEScAcqEnt"), "-1");
    EXPECT_EQ(client.Command("-OpenStream Nobody CscAcqEnt"), "-1");
    EXPECT_EQ(client.Command("-CreateStream 127.0.0.1 notaport CscAcqEnt"), "-1");
    Listener listener;
    EXPECT_EQ(client.Command("-CreateStream 127.0.0.1 " + std::to_string(listener.Port()) + " NoSuchType"),
              "-1");
}

TEST_F(StreamTest, StreamToAnotherInterfaceIsKeptOnLoopback) {
    Listener listener;
    // 192.0.2.1 is a documentation address that no host answers on.
    Peer stream = CreateStream(listener, "VTAcqEnt", "192.0.2.1");
    ASSERT_GE(stream.Fd(), 0);
    EXPECT_EQ(client.Command("-OpenStream VT1 VTAcqEnt"), "0");
    EXPECT_TRUE(stream.Read(1828));
}

TEST_F(StreamTest, ObjectOpenedBeforeItsStreamExistsStartsWithIt) {
    EXPECT_EQ(client.Command("-OpenStream TT1 TTScAcqEnt"), "0");
    Listener listener;
    Peer stream = CreateStream(listener, "TTScAcqEnt");
    EXPECT_EQ(Numbers(stream, 304, 5, 8), Repeated(5, 5));
}

TEST_F(StreamTest, ClientClosingItsListenerLeavesTheServerServing) {
    {
        Listener listener;
        Peer stream = CreateStream(listener, "SEScAcqEnt");
        EXPECT_EQ(client.Command("-OpenStream SE1 SEScAcqEnt"), "0");
        EXPECT_TRUE(stream.Read(112));
    }
    EXPECT_EQ(client.Command("-GetApplicationName"), "Galdera GalderaSim");
    EXPECT_EQ(client.Command("-CloseStream SE1 SEScAcqEnt"), "0");
}

TEST_F(StreamTest, StopReturnsWhileAClientNeitherReadsNorCloses) {
    Listener listener;
    Peer stream = CreateStream(listener, "VTAcqEnt");
    EXPECT_EQ(client.Command("-OpenStream VT1 VTAcqEnt"), "0");
    Peer idle;
    ASSERT_TRUE(idle.Connect(server->HandoutPort()));
    // Let the unread stream fill the socket buffers so that the sender blocks in a write.
    std::this_thread::sleep_for(300ms);
    server->Stop();
    EXPECT_TRUE(client.ClosedByPeer());
    EXPECT_TRUE(idle.ClosedByPeer());
}

}  // namespace
