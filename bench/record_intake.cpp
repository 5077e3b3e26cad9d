// Record intake of the stream listener against a loopback sender pushing as fast as it can.
// Baselines in the same process, on the same records: a plain receive loop with exact-size reads
// (one record per read), and a bulk loop that reads whatever has arrived into a 256 KiB buffer and
// counts the whole records in it. Also feeds all six kinds at once and counts lost or
// misassigned records.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <future>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comlux/internal/NodeConnectionClient.h"
#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRepetitions = 3;

/// Sends `count` records taken round-robin from `pattern` (whole records back to back).
void SendRecords(int port, const std::vector<unsigned char>& pattern, int recordSize, long count) {
    testsupport::LoopbackConnection connection = testsupport::LoopbackConnection::Connect(port);
    const long perPattern = static_cast<long>(pattern.size()) / recordSize;
    for (long left = count; left > 0 && connection.IsOpen();) {
        const long records = std::min(left, perPattern);
        if (!connection.SendAll(pattern.data(), static_cast<std::size_t>(records * recordSize))) return;
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

/// How a baseline loop reads: one record per read, or all that has arrived.
enum class Reads { ExactRecord, Bulk };

constexpr std::size_t kBulkBytes = 256 * 1024;

/// What one intake run achieved.
struct IntakeRun {
    double recordsPerSecond = 0;
    double cpuNsPerRecord = 0;  // of the receiving thread
};

double ThreadCpuNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

/// A plain accept-and-recv loop on this thread, counting whole records.
IntakeRun PlainLoopOnThisThread(Reads reads, int recordSize, long count,
                                const std::vector<unsigned char>& pattern) {
    testsupport::LoopbackListener listener;
    const auto start = Clock::now();
    std::thread sender(SendRecords, listener.Port(), std::cref(pattern), recordSize, count);
    testsupport::LoopbackConnection client = listener.Accept();
    const double cpuStart = ThreadCpuNanoseconds();
    const auto size = static_cast<std::size_t>(recordSize);
    std::vector<unsigned char> buffer(reads == Reads::Bulk ? kBulkBytes : size);
    long received = 0;
    std::size_t held = 0;  // bytes of a partial record at the buffer's front
    while (received < count) {
        const std::size_t want = reads == Reads::Bulk ? buffer.size() - held : size - held;
        const ssize_t n = ::recv(client.Fd(), buffer.data() + held, want, 0);
        if (n <= 0) break;
        held += static_cast<std::size_t>(n);
        const std::size_t whole = held / size;
        received += static_cast<long>(whole);
        held -= whole * size;
        if (whole > 0 && held > 0) std::copy_n(buffer.data() + whole * size, held, buffer.data());
    }
    const double cpuNs = ThreadCpuNanoseconds() - cpuStart;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    return {static_cast<double>(received) / seconds, cpuNs / static_cast<double>(std::max(received, 1L))};
}

/// The plain loop on a thread given the same priority that the listener asks for its receive thread.
IntakeRun PlainLoop(Reads reads, int recordSize, long count, const std::vector<unsigned char>& pattern) {
    IntakeRun run;
    std::thread receiver([&] {
        (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -5);
        run = PlainLoopOnThisThread(reads, recordSize, count, pattern);
    });
    receiver.join();
    return run;
}

struct Counter {
    long target = 0;
    std::atomic<long> count{0};  // written by the receive thread
    double firstCpuNs = 0;       // receive thread CPU time at the first record
    double lastCpuNs = 0;        // and at the last one
    std::promise<void> done;
};

// The record callbacks (CountRecord, CheckRecord) have comlux::RecordCallback's signature, which
// passes the name by value.
// NOLINTBEGIN(performance-unnecessary-value-param)
void CountRecord(void* context, const unsigned char*, int, std::string) {
    auto* counter = static_cast<Counter*>(context);
    const long count = counter->count.fetch_add(1, std::memory_order_relaxed) + 1;
    if (count == 1) counter->firstCpuNs = ThreadCpuNanoseconds();
    if (count == counter->target) {
        counter->lastCpuNs = ThreadCpuNanoseconds();
        counter->done.set_value();
    }
}
// NOLINTEND(performance-unnecessary-value-param)

/// One listener delivering every record to a counting callback.
IntakeRun ListenerRun(comlux::NodeConnectionClient& listener, long count,
                      const std::vector<unsigned char>& pattern) {
    Counter counter;
    counter.target = count;
    auto finished = counter.done.get_future();
    listener.SetCallback(&CountRecord, &counter);
    listener.InitServerStreamOnFreePort();
    const auto start = Clock::now();
    std::thread sender(SendRecords, listener.ListeningPort(), std::cref(pattern), listener.RecordSize(),
                       count);
    const bool complete = finished.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    listener.CloseServerStream();
    listener.SetCallback(nullptr, nullptr);
    if (!complete) return {};
    return {static_cast<double>(count) / seconds,
            (counter.lastCpuNs - counter.firstCpuNs) / static_cast<double>(count - 1)};
}

void Keep(IntakeRun& best, const IntakeRun& run) {
    if (run.recordsPerSecond > best.recordsPerSecond) best = run;
}

void IntakeOfOneStream(const char* name, comlux::StreamKind kind, long count) {
    comlux::NodeConnectionClient listener(kind);
    listener.SetObjectNames({"object"}, {std::string(comlux::InfoOf(kind).dataType)});
    const int size = listener.RecordSize();
    const auto pattern = Pattern(size, 256, 1, 1, 8, 4);
    IntakeRun best;
    IntakeRun exact;
    IntakeRun bulk;
    // Rounds alternate so that drifts of the machine hit every side alike.
    for (int i = 0; i < kRepetitions; ++i) {
        Keep(exact, PlainLoop(Reads::ExactRecord, size, count / 4, pattern));
        Keep(bulk, PlainLoop(Reads::Bulk, size, count, pattern));
        Keep(best, ListenerRun(listener, count, pattern));
    }
    const auto ratio = [&](const IntakeRun& baseline) {
        return baseline.recordsPerSecond > 0 ? best.recordsPerSecond / baseline.recordsPerSecond : 0.0;
    };
    std::printf("BENCH %s records_per_s %.0f\n", name, best.recordsPerSecond);
    std::printf("BENCH %s recv_loop_records_per_s %.0f\n", name, exact.recordsPerSecond);
    std::printf("BENCH %s ratio_to_recv_loop %.3f\n", name, ratio(exact));
    std::printf("BENCH %s bulk_loop_records_per_s %.0f\n", name, bulk.recordsPerSecond);
    std::printf("BENCH %s ratio_to_bulk_loop %.3f\n", name, ratio(bulk));
    std::printf("BENCH %s cpu_ns_per_record %.0f\n", name, best.cpuNsPerRecord);
    std::printf("BENCH %s bulk_loop_cpu_ns_per_record %.0f\n", name, bulk.cpuNsPerRecord);
}

/// One of the six listeners in the all-at-once run, with what its records should look like.
struct Feed {
    std::unique_ptr<comlux::NodeConnectionClient> listener;
    int tag;           // first byte of every record sent to this listener
    int numberOffset;  // -1: event records, delivered under the first event name
    int numberWidth;
    std::vector<std::string> names;    // the names the record numbers index
    std::atomic<long> delivered{0};    // written by the receive thread
    std::atomic<long> misassigned{0};  // written by the receive thread
};

std::size_t ReadNumber(const unsigned char* record, int offset, int width) {
    std::uint32_t value = 0;
    for (int b = width - 1; b >= 0; --b) value = value << 8 | record[offset + b];
    return width == 4 ? static_cast<std::size_t>(static_cast<std::int32_t>(value)) : value;
}

// NOLINTBEGIN(performance-unnecessary-value-param)
void CheckRecord(void* context, const unsigned char* record, int count, std::string name) {
    auto* feed = static_cast<Feed*>(context);
    const std::size_t number =
        feed->numberOffset >= 0 ? ReadNumber(record, feed->numberOffset, feed->numberWidth) : 0;
    const bool right =
        count == 1 && record[0] == feed->tag && number < feed->names.size() && feed->names[number] == name;
    if (!right) feed->misassigned.fetch_add(1, std::memory_order_relaxed);
    feed->delivered.fetch_add(1, std::memory_order_relaxed);
}
// NOLINTEND(performance-unnecessary-value-param)

void SixStreamsAtOnce(long perStream) {
    const std::vector<std::string> objects = {"Sc1", "St1",    "CSC1", "Tt1", "VT1",
                                              "Sc2", "Events", "CSC2", "VT2", "Events2"};
    const std::vector<std::string> types = {"SEScAcqEnt", "STScAcqEnt", "CscAcqEnt",   "TTScAcqEnt",
                                            "VTAcqEnt",   "SEScAcqEnt", "EventAcqEnt", "CscAcqEnt",
                                            "VTAcqEnt",   "EventAcqEnt"};
    const std::vector<std::string> spikes = {"Sc1", "St1", "Tt1", "Sc2"};
    std::vector<std::unique_ptr<Feed>> feeds;
    auto add = [&](comlux::StreamKind kind, int offset, int width, std::vector<std::string> names) {
        auto feed = std::make_unique<Feed>();
        feed->listener = std::make_unique<comlux::NodeConnectionClient>(kind);
        feed->tag = static_cast<int>(feeds.size()) + 1;
        feed->numberOffset = offset;
        feed->numberWidth = width;
        feed->names = std::move(names);
        feeds.push_back(std::move(feed));
    };
    add(comlux::StreamKind::SingleElectrode, 8, 4, spikes);
    add(comlux::StreamKind::Stereotrode, 8, 4, spikes);
    add(comlux::StreamKind::Tetrode, 8, 4, spikes);
    add(comlux::StreamKind::Csc, 8, 4, {"CSC1", "CSC2"});
    add(comlux::StreamKind::VideoTracker, 2, 2, {"VT1", "VT2"});
    add(comlux::StreamKind::Event, -1, 0, {"Events"});

    std::vector<std::vector<unsigned char>> patterns;
    for (auto& feed : feeds) {
        feed->listener->SetObjectNames(objects, types);
        feed->listener->SetCallback(&CheckRecord, feed.get());
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
    IntakeOfOneStream("intake_csc", comlux::StreamKind::Csc, 200000);
    IntakeOfOneStream("intake_se", comlux::StreamKind::SingleElectrode, 1000000);
    SixStreamsAtOnce(20000);
    return 0;
}
