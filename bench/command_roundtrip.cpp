// Round trip of ComluxClient::SendCommand against the in-process stand-in server, compared
// with a plain blocking-socket ping-pong of the same framed bytes against the same server port.
// The two sides alternate round trip by round trip on pairs of fresh connections, and each side
// is summed up by the faster half of its connections.
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
constexpr int kRoundTripsPerConnection = 1000;
constexpr int kConnectionsPerSide = 12;

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

// One round trip of the plain socket ping-pong on `fd`, in microseconds (negative on failure):
// the same bytes on the wire as the client's, sent in one call and read the way the client reads
// them (header, then payload), with nothing else around them.
double SocketRoundTrip(int fd, const std::string& frame, std::vector<char>& payload) {
    const auto start = Clock::now();
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) return -1;
    char header[12];
    if (!ReceiveExact(fd, header, sizeof header)) return -1;
    std::uint32_t length = 0;
    for (int b = 3; b >= 0; --b) length = length << 8 | static_cast<unsigned char>(header[8 + b]);
    payload.resize(length);
    if (!ReceiveExact(fd, payload.data(), length)) return -1;
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// One round trip through the client facade, in microseconds (negative on failure).
double ClientRoundTrip(comlux::ComluxClient& client, std::string& answer) {
    const auto start = Clock::now();
    if (!client.SendCommand(kCommand, answer)) return -1;
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The median of the faster half of `values`: a connection whose server thread landed in the
// machine's slow mode says nothing about the client.
double FasterHalfMedian(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    values.resize((values.size() + 1) / 2);
    return Median(values);
}

struct PairMedians {
    double client = 0;
    double socket = 0;
};

// Opens a fresh client connection and a fresh raw connection to the same command port and
// alternates their round trips one by one, so that both see the same moment of the machine.
bool MeasurePair(galdera::GalderaServer& server, PairMedians& medians) {
    comlux::ComluxClient client;
    client.SetPorts(server.HandoutPort(), server.CommandPort());
    if (!client.OpenConnection("127.0.0.1", false)) return false;
    testsupport::LoopbackConnection raw = testsupport::LoopbackConnection::Connect(server.CommandPort());
    if (!raw.IsOpen()) return false;
    const std::string frame = FrameOf(kCommand);
    std::vector<char> payload;
    std::string answer;
    std::vector<double> clientTimes;
    std::vector<double> socketTimes;
    for (int i = 0; i < kRoundTripsPerConnection; ++i) {
        const double socketTime = SocketRoundTrip(raw.Fd(), frame, payload);
        const double clientTime = ClientRoundTrip(client, answer);
        if (socketTime < 0 || clientTime < 0) return false;
        socketTimes.push_back(socketTime);
        clientTimes.push_back(clientTime);
    }
    client.CloseConnection();
    medians = {Median(clientTimes), Median(socketTimes)};
    return true;
}

}  // namespace

int main() {
    bench::LoopbackSession session;
    if (!session.Connect("command_roundtrip", false)) return 1;
    session.client.CloseConnection();

    // Each connection's server thread runs fast or slow for its whole life, on either side, so
    // one connection per side says more about the machine than about the client: many fresh
    // pairs, and the faster half of each side's connections.
    std::vector<double> clientMedians;
    std::vector<double> socketMedians;
    for (int pair = 0; pair < kConnectionsPerSide; ++pair) {
        PairMedians medians;
        if (!MeasurePair(session.server, medians)) {
            std::fprintf(stderr, "command_roundtrip: a round trip failed\n");
            return 1;
        }
        clientMedians.push_back(medians.client);
        socketMedians.push_back(medians.socket);
    }
    const double clientMedian = FasterHalfMedian(clientMedians);
    const double socketMedian = FasterHalfMedian(socketMedians);

    std::printf("BENCH command_roundtrip ratio_to_socket_pingpong %.3f\n", socketMedian / clientMedian);
    std::printf("BENCH command_roundtrip median_us %.1f\n", clientMedian);
    std::printf("BENCH command_roundtrip socket_median_us %.1f\n", socketMedian);
    std::printf("BENCH command_roundtrip commands_per_s %.0f\n", 1e6 / clientMedian);
    return 0;
}
