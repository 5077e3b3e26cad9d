// Record intake of the stream listeners against a loopback sender pushing as fast as it can.
// Baseline: a plain receive loop in the same process reading the same records with the same
// exact-size reads. Also feeds all six listeners at once and counts lost or misassigned records.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comlux/internal/NodeConnectionClientCSC.h"
#include "comlux/internal/NodeConnectionClientEV.h"
#include "comlux/internal/NodeConnectionClientSE.h"
#include "comlux/internal/NodeConnectionClientST.h"
#include "comlux/internal/NodeConnectionClientTT.h"
#include "comlux/internal/NodeConnectionClientVT.h"
#include "comlux/internal/Socket.h"
#include "comlux/internal/StreamRegistration.h"

namespace {

using Clock = std::chrono::steady_clock;
using comlux::NodeConnectionClient;
using comlux::Socket;

constexpr int kRepetitions = 3;

Socket ConnectLoopback(int port) {
    Socket socket = Socket::CreateTcp();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Socket();
    return socket;
}

/// Sends `count` records taken round-robin from `pattern` (whole records back to back).
void SendRecords(int port, const std::vector<unsigned char>& pattern, int recordSize, long count) {
    Socket socket = ConnectLoopback(port);
    const long perPattern = static_cast<long>(pattern.size()) / recordSize;
    long left = count;
    while (left > 0 && socket.IsValid()) {
        const long records = std::min(left, perPattern);
        const std::size_t bytes = static_cast<std::size_t>(records * recordSize);
        std::size_t sent = 0;
        while (sent < bytes) {
            const ssize_t n = ::send(socket.Fd(), pattern.data() + sent, bytes - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
        left -= records;
    }
}

std::vector<unsigned char> Pattern(int recordSize, int records, int streamTag, int numbers, int numberOffset,
                                   int numberWidth) {
    std::vector<unsigned char> pattern(static_cast<std::size_t>(recordSize * records));
    for (int r = 0; r < records; ++r) {
        unsigned char* record = pattern.data() + static_cast<std::ptrdiff_t>(r) * recordSize;
        std::fill(record, record + recordSize, static_cast<unsigned char>(r));
        record[0] = static_cast<unsigned char>(streamTag);
        if (numberWidth > 0) {
            const auto number = static_cast<std::uint32_t>(r % numbers);
            for (int b = 0; b < numberWidth; ++b)
                record[numberOffset + b] = static_cast<unsigned char>(number >> (8 * b));
        }
    }
    return pattern;
}

/// Records per second of a plain accept-and-recv loop with exact-size reads.
double PlainLoopOnThisThread(int recordSize, long count, const std::vector<unsigned char>& pattern) {
    Socket listener = Socket::CreateTcp();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(listener.Fd(), 2);
    ::getsockname(listener.Fd(), reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    const auto start = Clock::now();
    std::thread sender(SendRecords, port, std::cref(pattern), recordSize, count);
    Socket client(::accept(listener.Fd(), nullptr, nullptr));
    std::vector<unsigned char> buffer(static_cast<std::size_t>(recordSize));
    long received = 0;
    while (received < count) {
        int total = 0;
        while (total < recordSize) {
            const ssize_t n =
                ::recv(client.Fd(), buffer.data() + total, static_cast<std::size_t>(recordSize - total), 0);
            if (n <= 0) break;
            total += static_cast<int>(n);
        }
        if (total < recordSize) break;
        ++received;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    return static_cast<double>(received) / seconds;
}

/// The plain loop on a thread given the same priority that the listener asks for its receive thread.
double PlainLoopRate(int recordSize, long count, const std::vector<unsigned char>& pattern) {
    double rate = 0;
    std::thread receiver([&] {
        (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -5);
        rate = PlainLoopOnThisThread(recordSize, count, pattern);
    });
    receiver.join();
    return rate;
}

struct Counter {
    long target = 0;
    std::atomic<long> count{0};  // written by the receive thread
    std::promise<void> done;
};

void CountRecord(void* context, const unsigned char*, int, std::string) {
    auto* counter = static_cast<Counter*>(context);
    if (counter->count.fetch_add(1, std::memory_order_relaxed) + 1 == counter->target)
        counter->done.set_value();
}

/// Records per second of one listener, delivering every record to a counting callback.
double ListenerRate(NodeConnectionClient& listener,
                    void (NodeConnectionClient::*setter)(comlux::RecordCallback, void*), long count,
                    const std::vector<unsigned char>& pattern) {
    Counter counter;
    counter.target = count;
    auto finished = counter.done.get_future();
    (listener.*setter)(&CountRecord, &counter);
    listener.InitServerStreamOnFreePort();
    const auto start = Clock::now();
    std::thread sender(SendRecords, listener.ListeningPort(), std::cref(pattern), listener.RecordSize(),
                       count);
    const bool complete = finished.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    listener.CloseServerStream();
    (listener.*setter)(nullptr, nullptr);
    return complete ? static_cast<double>(count) / seconds : 0;
}

void IntakeOfOneStream(const char* name, NodeConnectionClient& listener,
                       void (NodeConnectionClient::*setter)(comlux::RecordCallback, void*),
                       const char* dataType, long count) {
    listener.SetObjectNames({"object"}, {dataType});
    const auto pattern = Pattern(listener.RecordSize(), 256, 1, 1, 8, 4);
    double bestListener = 0;
    double bestPlain = 0;
    for (int i = 0; i < kRepetitions; ++i) {
        bestPlain = std::max(bestPlain, PlainLoopRate(listener.RecordSize(), count, pattern));
        bestListener = std::max(bestListener, ListenerRate(listener, setter, count, pattern));
    }
    std::printf("BENCH %s records_per_s %.0f\n", name, bestListener);
    std::printf("BENCH %s recv_loop_records_per_s %.0f\n", name, bestPlain);
    std::printf("BENCH %s ratio_to_recv_loop %.3f\n", name, bestPlain > 0 ? bestListener / bestPlain : 0.0);
}

/// One of the six listeners in the all-at-once run, with what its records should look like.
struct Feed {
    std::unique_ptr<NodeConnectionClient> listener;
    void (NodeConnectionClient::*setter)(comlux::RecordCallback, void*);
    int tag;           // first byte of every record sent to this listener
    int numberOffset;  // -1: event records, delivered under the first event name
    int numberWidth;
    std::vector<std::string> names;    // the names the record numbers index
    std::atomic<long> delivered{0};    // written by the receive thread
    std::atomic<long> misassigned{0};  // written by the receive thread
};

void CheckRecord(void* context, const unsigned char* record, int count, std::string name) {
    auto* feed = static_cast<Feed*>(context);
    std::size_t number = 0;
    if (feed->numberOffset >= 0) {
        number = feed->numberWidth == 2
                     ? comlux::ReadLittleUint16(record + feed->numberOffset)
                     : static_cast<std::size_t>(comlux::ReadLittleInt32(record + feed->numberOffset));
    }
    const bool right =
        count == 1 && record[0] == feed->tag && number < feed->names.size() && feed->names[number] == name;
    if (!right) feed->misassigned.fetch_add(1, std::memory_order_relaxed);
    feed->delivered.fetch_add(1, std::memory_order_relaxed);
}

void SixStreamsAtOnce(long perStream) {
    const std::vector<std::string> objects = {"Sc1", "St1",    "CSC1", "Tt1", "VT1",
                                              "Sc2", "Events", "CSC2", "VT2", "Events2"};
    const std::vector<std::string> types = {"SEScAcqEnt", "STScAcqEnt", "CscAcqEnt",   "TTScAcqEnt",
                                            "VTAcqEnt",   "SEScAcqEnt", "EventAcqEnt", "CscAcqEnt",
                                            "VTAcqEnt",   "EventAcqEnt"};
    const std::vector<std::string> spikes = {"Sc1", "St1", "Tt1", "Sc2"};
    std::vector<std::unique_ptr<Feed>> feeds;
    auto add = [&](std::unique_ptr<NodeConnectionClient> listener,
                   void (NodeConnectionClient::*setter)(comlux::RecordCallback, void*), int offset, int width,
                   std::vector<std::string> names) {
        auto feed = std::make_unique<Feed>();
        feed->listener = std::move(listener);
        feed->setter = setter;
        feed->tag = static_cast<int>(feeds.size()) + 1;
        feed->numberOffset = offset;
        feed->numberWidth = width;
        feed->names = std::move(names);
        feeds.push_back(std::move(feed));
    };
    add(std::make_unique<comlux::NodeConnectionClientSE>(), &NodeConnectionClient::SetCallbackSE, 8, 4,
        spikes);
    add(std::make_unique<comlux::NodeConnectionClientST>(), &NodeConnectionClient::SetCallbackST, 8, 4,
        spikes);
    add(std::make_unique<comlux::NodeConnectionClientTT>(), &NodeConnectionClient::SetCallbackTT, 8, 4,
        spikes);
    add(std::make_unique<comlux::NodeConnectionClientCSC>(), &NodeConnectionClient::SetCallbackCSC, 8, 4,
        {"CSC1", "CSC2"});
    add(std::make_unique<comlux::NodeConnectionClientVT>(), &NodeConnectionClient::SetCallbackVT, 2, 2,
        {"VT1", "VT2"});
    add(std::make_unique<comlux::NodeConnectionClientEV>(), &NodeConnectionClient::SetCallbackEV, -1, 0,
        {"Events"});

    std::vector<std::vector<unsigned char>> patterns;
    for (auto& feed : feeds) {
        feed->listener->SetObjectNames(objects, types);
        (feed->listener.get()->*feed->setter)(&CheckRecord, feed.get());
        feed->listener->InitServerStreamOnFreePort();
        patterns.push_back(Pattern(feed->listener->RecordSize(), 64, feed->tag,
                                   static_cast<int>(feed->names.size()), std::max(feed->numberOffset, 0),
                                   feed->numberWidth));
    }
    std::vector<std::thread> senders;
    for (std::size_t i = 0; i < feeds.size(); ++i) {
        senders.emplace_back(SendRecords, feeds[i]->listener->ListeningPort(), std::cref(patterns[i]),
                             feeds[i]->listener->RecordSize(), perStream);
    }
    for (auto& sender : senders) sender.join();
    // Every byte is sent; give the listeners time to read what is still in flight.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    auto allIn = [&] {
        return std::all_of(feeds.begin(), feeds.end(),
                           [&](const auto& f) { return f->delivered >= perStream; });
    };
    while (!allIn() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    long lost = 0;
    long misassigned = 0;
    for (auto& feed : feeds) {
        feed->listener->CloseServerStream();
        lost += perStream - feed->delivered;
        misassigned += feed->misassigned;
    }
    std::printf("BENCH intake_six_streams records_per_stream %ld\n", perStream);
    std::printf("BENCH intake_six_streams lost_records %ld\n", lost);
    std::printf("BENCH intake_six_streams misassigned_records %ld\n", misassigned);
}

}  // namespace

int main() {
    comlux::NodeConnectionClientCSC csc;
    IntakeOfOneStream("intake_csc", csc, &NodeConnectionClient::SetCallbackCSC, "CscAcqEnt", 100000);
    comlux::NodeConnectionClientSE se;
    IntakeOfOneStream("intake_se", se, &NodeConnectionClient::SetCallbackSE, "SEScAcqEnt", 200000);
    SixStreamsAtOnce(20000);
    return 0;
}
