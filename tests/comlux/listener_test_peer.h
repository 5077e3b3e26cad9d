#pragma once

// Helpers for the stream listener tests: a loopback peer that plays the server's side of a
// data connection, a recorder for delivered records and a reader for the log's messages.

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ifaddrs.h>
#include <mutex>
#include <netinet/in.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comlux/ClientLogFile.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"

namespace listenertest {

using namespace std::chrono_literals;

/// Generous limit for waiting on another thread; only reached when a test fails.
inline constexpr auto kPatience = 5s;

/// The server's end of one data connection: to `to`:`port`, from the address `from` when given.
class Peer {
public:
    explicit Peer(int port, const std::string& to = "127.0.0.1", const std::string& from = "") {
        if (to == "127.0.0.1" && from.empty()) {
            mConnection = testsupport::LoopbackConnection::Connect(port);
        } else {
            mConnection = ConnectBetween(port, to, from);
        }
        if (mConnection.IsOpen()) mConnection.SetNoDelay();  // every Send leaves as a segment of its own
    }
    bool Connected() const { return mConnection.IsOpen(); }
    bool Send(const std::vector<unsigned char>& bytes) {
        return mConnection.SendAll(bytes.data(), bytes.size());
    }
    void Close() { mConnection.Close(); }

private:
    // A connection that the loopback helper cannot make: from a chosen address, or to another.
    static testsupport::LoopbackConnection ConnectBetween(int port, const std::string& to,
                                                          const std::string& from) {
        testsupport::LoopbackConnection connection(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (!from.empty()) {
            ::inet_pton(AF_INET, from.c_str(), &address.sin_addr);
            if (::bind(connection.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
                return {};
        }
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, to.c_str(), &address.sin_addr);
        if (::connect(connection.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return {};
        return connection;
    }

    testsupport::LoopbackConnection mConnection;
};

/// An IPv4 address of this computer that is not a loopback address; empty when it has none.
inline std::string NonLoopbackAddress() {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return {};
    std::string found;
    for (const ifaddrs* entry = all; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                    sizeof text);
        if (std::string(text).rfind("127.", 0) != 0) found = text;
    }
    ::freeifaddrs(all);
    return found;
}

/// A record of `size` bytes with the byte pattern `fill` and a signed 32-bit number at offset 8.
inline std::vector<unsigned char> NumberedRecord(int size, std::int32_t number, unsigned char fill) {
    std::vector<unsigned char> record(static_cast<std::size_t>(size), fill);
    const auto value = static_cast<std::uint32_t>(number);
    for (int i = 0; i < 4; ++i)
        record[8 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    return record;
}

/// Concatenation of byte runs.
inline std::vector<unsigned char> Join(std::initializer_list<std::vector<unsigned char>> parts) {
    std::vector<unsigned char> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

/// Collects delivered records; the callback copies each record, as callbacks must.
class Recorder {
public:
    struct Delivery {
        std::string name;
        std::vector<unsigned char> bytes;
        int count;
    };

    explicit Recorder(int recordSize) : mRecordSize(recordSize) {}

    static void Callback(void* context, const unsigned char* record, int count, std::string objectName) {
        auto* self = static_cast<Recorder*>(context);
        std::lock_guard lock(self->mLock);
        if (reinterpret_cast<std::uintptr_t>(record) % 16 != 0) ++self->mMisaligned;
        self->mDeliveries.push_back(
            {std::move(objectName), std::vector<unsigned char>(record, record + self->mRecordSize), count});
        self->mChanged.notify_all();
    }
    /// True when at least `n` records arrived within the patience limit.
    bool WaitFor(std::size_t n) {
        std::unique_lock lock(mLock);
        return mChanged.wait_for(lock, kPatience, [&] { return mDeliveries.size() >= n; });
    }
    std::vector<Delivery> Deliveries() {
        std::lock_guard lock(mLock);
        return mDeliveries;
    }
    /// Records delivered at an address that is not a multiple of 16.
    int Misaligned() {
        std::lock_guard lock(mLock);
        return mMisaligned;
    }

private:
    const int mRecordSize;
    int mMisaligned = 0;  // guarded by mLock
    std::mutex mLock;
    std::condition_variable mChanged;
    std::vector<Delivery> mDeliveries;
};

/// A log file in a temporary directory whose entries can be read back as "LEVEL message".
class LogCapture {
public:
    LogCapture() { mLog.OpenLogFile(mDir.File("log.txt")); }
    comlux::ClientLogFile* Log() { return &mLog; }

    /// Every entry so far, as "ERROR <message>" / "NOTICE <message>"; banner lines left out.
    std::vector<std::string> Entries() const {
        static const std::regex entry(R"(^-\* (\w+) \*-  \d\d:\d\d:\d\d\.\d\d\d - (.*)\r$)");
        std::vector<std::string> entries;
        std::istringstream text(testsupport::ReadFile(mDir.File("log.txt")));
        std::smatch match;
        for (std::string line; std::getline(text, line);) {
            if (std::regex_match(line, match, entry))
                entries.push_back(match[1].str() + " " + match[2].str());
        }
        return entries;
    }
    /// True when an entry equal to `wanted` appeared within the patience limit.
    bool WaitForEntry(const std::string& wanted) const {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& e : Entries()) {
                if (e == wanted) return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

private:
    testsupport::TempDir mDir;
    comlux::ClientLogFile mLog;
};

inline const std::string kTerminated =
    "NOTICE NodeConnectionClient::CloseServerStream() - mDmaProcessor thread has been terminated "
    "successfully.";
inline const std::string kWaitCompleted =
    "NOTICE NodeConnectionClient::CloseServerStream() - WaitForSingleObject for mDmaProcessor thread "
    "completed "
    "successfully.";

}  // namespace listenertest
