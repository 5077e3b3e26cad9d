// Records per second that a Python script receives through the comlux module, against a C++
// callback that only counts, both fed the same flood by the stand-in in this process. Also the
// records a script drops at the stand-in's default rate with every object open.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kFloodRecordsPerObject = 1e6;  // more than the stand-in can make
constexpr double kSeconds = 2.0;
constexpr int kRounds = 2;
const std::vector<std::string> kSpikeObjects = {"SE1", "SE2", "SE3", "SE Ref"};
const std::vector<std::string> kCscObjects = {"CSC1", "CSC2", "CSC3", "CSC4"};

struct Rate {
    double recordsPerSecond = 0;
    long dropped = 0;
};

void Count(void* context, const unsigned char*, int count, std::string) {
    static_cast<std::atomic<long>*>(context)->fetch_add(count, std::memory_order_relaxed);
}

/// A C++ client whose callback only counts, over the same span as the Python side.
Rate CountInCpp(const galdera::GalderaServer& server, const std::vector<std::string>& objects,
                const std::string& dataType, bool csc) {
    comlux::ComluxClient client;
    client.SetPorts(server.HandoutPort(), server.CommandPort());
    std::vector<std::string> names, types;
    // The listeners learn the object names from the list.
    if (!client.OpenConnection("127.0.0.1", true) || !client.GetObjectsAndTypes(names, types)) return {};
    std::atomic<long> count{0};
    if (csc) {
        client.SetCallbackCSC(&Count, &count);
    } else {
        client.SetCallbackSE(&Count, &count);
    }
    for (const std::string& object : objects) {
        if (!client.OpenStream(object, dataType))
            std::fprintf(stderr, "cannot open the stream of %s\n", object.c_str());
    }
    const auto patience = Clock::now() + std::chrono::seconds(10);
    while (count.load() == 0 && Clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (count.load() == 0) return {};
    const long first = count.load();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    const long last = count.load();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const std::string& object : objects) client.CloseStream(object, dataType);
    client.CloseConnection();
    client.SetCallbackSE(nullptr, nullptr);
    client.SetCallbackCSC(nullptr, nullptr);
    return {static_cast<double>(last - first) / seconds, 0};
}

/// The Python script's rate and drops, read from the line it prints.
Rate CountInPython(const galdera::GalderaServer& server, const std::vector<std::string>& objects,
                   double seconds) {
    std::string command = "PYTHONPATH='" COMLUX_PYTHON_DIR "' '" PYTHON_EXECUTABLE "' '" BENCH_SCRIPT "' " +
                          std::to_string(server.HandoutPort()) + " " + std::to_string(server.CommandPort()) +
                          " " + std::to_string(seconds);
    for (const std::string& object : objects) command += " '" + object + "'";
    FILE* script = ::popen(command.c_str(), "r");
    if (script == nullptr) return {};
    long records = 0, dropped = 0;
    double elapsed = 0;
    const int read = std::fscanf(script, "records %ld seconds %lf dropped %ld", &records, &elapsed, &dropped);
    ::pclose(script);
    if (read != 3 || elapsed <= 0) return {};
    return {static_cast<double>(records) / elapsed, dropped};
}

galdera::ServerOptions Options(double rate) {
    galdera::ServerOptions options;
    options.handoutPort = 0;
    options.commandPort = 0;
    options.recordsPerSecond = rate;
    return options;
}

void Flood(const char* figure, const std::vector<std::string>& objects, const std::string& dataType, bool csc,
           double& ratio) {
    galdera::GalderaServer server(Options(kFloodRecordsPerObject));
    if (!server.Start()) return;
    Rate cpp, python;
    // Rounds alternate so that drifts of the machine hit both sides alike.
    for (int round = 0; round < kRounds; ++round) {
        const Rate c = CountInCpp(server, objects, dataType, csc);
        const Rate p = CountInPython(server, objects, kSeconds);
        if (c.recordsPerSecond > cpp.recordsPerSecond) cpp = c;
        if (p.recordsPerSecond > python.recordsPerSecond) python = p;
    }
    ratio = cpp.recordsPerSecond > 0 ? python.recordsPerSecond / cpp.recordsPerSecond : 0;
    std::printf("BENCH python_intake %s_records_per_s %.0f\n", figure, python.recordsPerSecond);
    std::printf("BENCH python_intake %s_cpp_records_per_s %.0f\n", figure, cpp.recordsPerSecond);
    std::printf("BENCH python_intake %s_ratio_to_cpp %.3f\n", figure, ratio);
    std::fflush(stdout);
}

}  // namespace

int main() {
    double seRatio = 0, cscRatio = 0;
    Flood("se", kSpikeObjects, "SEScAcqEnt", false, seRatio);
    Flood("csc", kCscObjects, "CscAcqEnt", true, cscRatio);
    std::printf("BENCH python_intake ratio_to_cpp %.3f\n", std::min(seRatio, cscRatio));

    galdera::GalderaServer server(Options(galdera::ServerOptions{}.recordsPerSecond));
    if (!server.Start()) return 1;
    std::vector<std::string> all;
    for (const galdera::ServerObject& object : galdera::DefaultObjects()) all.push_back(object.name);
    std::printf("BENCH python_intake dropped %ld\n", CountInPython(server, all, kSeconds).dropped);
    return 0;
}
