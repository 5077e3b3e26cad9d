// Round trip of ComluxClient::SendCommand against the in-process stand-in server, compared
// with a plain blocking-socket ping-pong of the same framed bytes against the same server port,
// each on a connection of its own held for the whole run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "bench/LoopbackSession.h"
#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCommand = "-GetApplicationName";
constexpr int kRoundTrips = 2000;
constexpr int kRounds = 6;

std::string FrameOf(const std::string& text) {
    std::string frame;
    const auto put = [&frame](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) frame += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(1);
    put(0xA5A5A5A5u);
    put(static_cast<std::uint32_t>(text.size() + 1));
    frame += text;
    frame += '\0';
    return frame;
}

// Reads exactly `size` bytes with plain blocking receives.
bool ReceiveExact(int fd, char* buffer, std::size_t size) {
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::recv(fd, buffer + got, size - got, 0);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Per-round-trip times in microseconds of the plain socket ping-pong on `connection`: the same
// bytes on the wire as the client's, sent in one call and read the way the client reads them
// (header, then payload), with nothing else around them.
std::vector<double> SocketPingPong(testsupport::LoopbackConnection& connection, int count) {
    const std::string frame = FrameOf(kCommand);
    std::vector<double> times;
    std::vector<char> payload;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (::send(connection.Fd(), frame.data(), frame.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(frame.size()))
            break;
        char header[12];
        if (!ReceiveExact(connection.Fd(), header, sizeof header)) break;
        std::uint32_t length = 0;
        for (int b = 3; b >= 0; --b) length = length << 8 | static_cast<unsigned char>(header[8 + b]);
        payload.resize(length);
        if (!ReceiveExact(connection.Fd(), payload.data(), length)) break;
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return times;
}

// Per-round-trip times in microseconds through the client facade.
std::vector<double> ClientRoundTrips(comlux::ComluxClient& client, int count) {
    std::vector<double> times;
    std::string answer;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (!client.SendCommand(kCommand, answer)) break;
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return times;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

double Total(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) sum += v;
    return sum;
}

}  // namespace

int main() {
    bench::LoopbackSession session;
    if (!session.Connect("command_roundtrip", false)) return 1;
    galdera::GalderaServer& server = session.server;
    comlux::ComluxClient& client = session.client;

    // Both sides on one connection each to the same command port, held for the whole run.
    testsupport::LoopbackConnection raw = testsupport::LoopbackConnection::Connect(server.CommandPort());
    // Rounds alternate so that drifts of the machine hit both sides alike.
    double bestClient = 1e300;
    std::vector<double> clientTimes;
    std::vector<double> socketTimes;
    for (int round = 0; round < kRounds; ++round) {
        auto socketRound = SocketPingPong(raw, kRoundTrips);
        auto clientRound = ClientRoundTrips(client, kRoundTrips);
        if (socketRound.size() != kRoundTrips || clientRound.size() != kRoundTrips) {
            std::fprintf(stderr, "command_roundtrip: a round trip failed\n");
            return 1;
        }
        bestClient = std::min(bestClient, Total(clientRound));
        clientTimes.insert(clientTimes.end(), clientRound.begin(), clientRound.end());
        socketTimes.insert(socketTimes.end(), socketRound.begin(), socketRound.end());
    }
    client.CloseConnection();

    // Throughput of a typical round trip (medians resist the machine's hiccups), client over socket.
    std::printf("BENCH command_roundtrip ratio_to_socket_pingpong %.3f\n",
                Median(socketTimes) / Median(clientTimes));
    std::printf("BENCH command_roundtrip median_us %.1f\n", Median(clientTimes));
    std::printf("BENCH command_roundtrip socket_median_us %.1f\n", Median(socketTimes));
    std::printf("BENCH command_roundtrip commands_per_s %.0f\n", kRoundTrips / (bestClient / 1e6));
    return 0;
}
