#include "app/cli/SequoraRun.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <thread>
#include <unistd.h>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleObserver.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/ItemFileLoad.h"
#include "app/cli/ListSave.h"
#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/LogLocation.h"
#include "app/core/ServerSession.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TrialRunner.h"
#include "comlux/ComluxClient.h"
#include "comlux/HostNames.h"

namespace sequora::cli {

namespace {

// The longest a stopped run's pending answer, or an abandoned connection attempt, is waited for.
constexpr std::chrono::seconds kStopGrace{1};

std::string ComputerName() {
    const std::string name = comlux::ComputerName();
    return name.empty() ? "localhost" : name;
}

// Why the journal cannot be written, empty when it can. Asked before connecting, so that a
// mistyped path costs no connection; an existing journal is not touched here, and a file made
// only to find out is removed again.
std::string JournalProblem(const std::string& path) {
    std::error_code error;
    const bool existed = std::filesystem::exists(path, error);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return std::strerror(errno);
    std::fclose(file);
    if (!existed) std::filesystem::remove(path, error);
    return {};
}

// Clears the watcher's actions when the objects they use go out of scope.
class InterruptActions {
public:
    explicit InterruptActions(InterruptWatcher* watcher) : mWatcher(watcher) {}
    ~InterruptActions() {
        if (!mWatcher) return;
        mWatcher->OnInterrupt({});
        mWatcher->OnSecondInterrupt({});
    }
    InterruptActions(const InterruptActions&) = delete;
    InterruptActions& operator=(const InterruptActions&) = delete;

private:
    InterruptWatcher* mWatcher;
};

// Connects on a thread of its own so that Ctrl-C can abandon an attempt the network holds up
// (a server whose accept queue is full keeps a connect waiting for minutes). True when
// connected and not interrupted; an abandoned attempt reports the usual failure.
bool ConnectUnlessInterrupted(ServerSession& session, comlux::ComluxClient& client, const std::string& server,
                              ConsoleObserver& console, InterruptWatcher* watcher) {
    std::atomic<bool> failureShown{false};
    const auto show = [&](const std::string& text) {
        if (text == ServerSession::kConnectionFailed && failureShown.exchange(true)) return;
        console.Print(text);
    };
    if (!watcher) return session.Connect(server, show);

    struct Attempt {
        std::mutex lock;  // guards the three flags
        std::condition_variable changed;
        bool done = false;
        bool connected = false;
        bool interrupted = false;
    } attempt;
    std::thread connector([&] {
        const bool connected = session.Connect(server, show);
        {
            std::lock_guard guard(attempt.lock);
            attempt.done = true;
            attempt.connected = connected;
        }
        attempt.changed.notify_all();
    });
    watcher->OnInterrupt([&attempt] {
        {
            std::lock_guard guard(attempt.lock);
            attempt.interrupted = true;
        }
        attempt.changed.notify_all();
    });
    std::unique_lock lock(attempt.lock);
    attempt.changed.wait(lock, [&] { return attempt.done || attempt.interrupted; });
    const bool interrupted = attempt.interrupted;
    lock.unlock();
    watcher->OnInterrupt({});
    if (!interrupted) {
        connector.join();
        return attempt.connected;
    }

    // Closing the connection cuts short a connect or an answer in progress; it returns once
    // the attempt has let go of the client.
    std::thread closer([&client] { client.CloseConnection(); });
    lock.lock();
    const bool let = attempt.changed.wait_for(lock, kStopGrace, [&] { return attempt.done; });
    lock.unlock();
    if (!failureShown.exchange(true)) console.Print(ServerSession::kConnectionFailed);
    if (!let) {
        // Stuck where nothing can reach it (resolving the name, say): end without it.
        client.CloseLogFile();
        _exit(kExitConnectionFailed);
    }
    connector.join();
    closer.join();
    return false;
}

// Plays the loaded list over a connected client; returns the exit status.
int PlayTrials(ItemList& items, ServerSession& session, comlux::ComluxClient& client,
               const std::string& server, const Options& options, ConsoleObserver& console,
               InterruptWatcher* watcher) {
    ComluxCommandSender sender(client);
    SteadyRunClock clock;
    TrialRunner runner(items, sender, console, clock);
    runner.SetTrialCount(options.trials);
    runner.SetRunContinuously(options.continuous);
    runner.SetSeed(options.seed);
    runner.SetJournal({options.journalPath, server, options.cfgPath});
    runner.SetRealtime(true);
    if (!runner.Start()) return kExitConnectionFailed;
    if (watcher) {
        watcher->OnInterrupt([&runner, &console] {
            runner.Stop();
            console.Wake();
        });
    }
    if (console.WaitForEnd() == ConsoleObserver::Waited::Woken) {
        // Ctrl-C: the run stops at once, but a command already sent may still wait for its
        // answer (or a reset for its own); past the grace the connection is closed under it.
        if (console.WaitForEnd(std::chrono::steady_clock::now() + kStopGrace) !=
            ConsoleObserver::Waited::Ended)
            session.Disconnect();
    }
    runner.WaitForWorkers();
    // The runner is about to go: a late Ctrl-C must not reach it any more.
    if (watcher) watcher->OnInterrupt({});
    const auto end = console.End();
    return end && end->how == RunEnd::ConnectionLost ? kExitRunFailed : kExitDone;
}

int RunItemList(const Options& options, std::ostream& err, InterruptWatcher* watcher) {
    ItemList items;
    const LoadOutcome loaded = LoadItemFile(options.cfgPath, items, err);
    if (loaded == LoadOutcome::kUnreadable) return kExitBadUsage;
    if (loaded == LoadOutcome::kPartial && !options.partial) {
        err << "sequora-run: give --partial to run the rows that were read\n";
        return kExitReadInPart;
    }
    if (!options.journalPath.empty()) {
        if (const std::string problem = JournalProblem(options.journalPath); !problem.empty()) {
            err << "sequora-run: cannot write the journal " << options.journalPath << ": " << problem << '\n';
            return kExitBadUsage;
        }
    }

    ConsoleObserver console(err);
    comlux::ComluxClient client;
    client.SetMessageHandler([&console](const std::string& text) { console.Print(text); });
    // The window runs on silently without a log; a path asked for explicitly deserves a word.
    if (options.logPath.empty()) {
        if (const std::string path = DefaultLogFilePath(); !path.empty()) client.OpenLogFile(path);
    } else if (!client.OpenLogFile(options.logPath)) {
        console.Print("sequora-run: cannot open the log file " + options.logPath + "; running without it");
    }
    const InterruptActions actions(watcher);
    if (watcher) watcher->OnSecondInterrupt([&client] { client.CloseLogFile(); });

    ServerSession session(client);
    const std::string server = options.server.empty() ? ComputerName() : options.server;
    int status = kExitConnectionFailed;
    if (ConnectUnlessInterrupted(session, client, server, console, watcher)) {
        status = PlayTrials(items, session, client, server, options, console, watcher);
    }
    // Also when not connected: the client then only logs that it was not.
    if (session.Connected() || status == kExitConnectionFailed) session.Disconnect();
    return status;
}

}  // namespace

int SequoraRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               InterruptWatcher* watcher) {
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        err << "sequora-run: " << parsed.error << '\n' << UsageText();
        return kExitBadUsage;
    }
    const Options& options = parsed.options;
    switch (options.mode) {
        case Mode::Help: out << HelpText(); return kExitDone;
        case Mode::Version: out << VersionText(); return kExitDone;
        case Mode::List: return ListItems(options.cfgPath, out, err);
        case Mode::Save: return SaveItems(options.outPath, options.cfgPath, err);
        case Mode::Run: break;
    }
    return RunItemList(options, err, watcher);
}

}  // namespace sequora::cli
