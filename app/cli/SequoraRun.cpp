#include "app/cli/SequoraRun.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <unistd.h>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleObserver.h"
#include "app/cli/ControlHost.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/ItemFileLoad.h"
#include "app/cli/JournalReport.h"
#include "app/cli/ListSave.h"
#include "app/core/ComluxCommandSender.h"
#include "app/core/FileIdentity.h"
#include "app/core/ItemList.h"
#include "app/core/LogLocation.h"
#include "app/core/RandomDraw.h"
#include "app/core/RunJournal.h"
#include "app/core/RunMessages.h"
#include "app/core/ServerSession.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TaskQueue.h"
#include "app/core/TrialRunner.h"
#include "comlux/ComluxClient.h"
#include "comlux/HostNames.h"

namespace sequora::cli {

namespace {

// The longest a stopped run's pending answer, or an abandoned connection attempt, is waited for.
constexpr std::chrono::seconds kStopGrace{1};

const char kNeverReplaced[] = "; an output never replaces an input";
const char kOwnFile[] = "; each output needs a file of its own";

std::string ComputerName() {
    const std::string name = comlux::ComputerName();
    return name.empty() ? "localhost" : name;
}

// The reason an output path is refused, empty when none is: an output never names the item
// list nor the other output.
std::string OutputPathConflict(const Options& options) {
    const auto names = [](const std::string& output, const std::string& other) {
        return !output.empty() && !other.empty() && SameFile(output, other);
    };
    if (names(options.journalPath, options.cfgPath))
        return "--journal " + options.journalPath + " names the item list " + options.cfgPath +
               kNeverReplaced;
    if (names(options.logPath, options.cfgPath))
        return "--log " + options.logPath + " names the item list " + options.cfgPath + kNeverReplaced;
    if (names(options.logPath, options.journalPath))
        return "--log " + options.logPath + " names the journal " + options.journalPath + kOwnFile;
    return {};
}

// Opens the journal and writes its header before any connection is made, so that a journal
// that cannot be written costs no connection and no run; null with the reason otherwise.
std::unique_ptr<RunJournal> OpenJournal(const Options& options, const std::string& server, std::uint32_t seed,
                                        std::string& reason) {
    SteadyRunClock clock;
    JournalHeader header;
    header.started = clock.CalendarNow();
    header.server = server;
    header.listFile = options.cfgPath;
    header.seed = seed;
    header.trials = options.trials;
    header.continuous = options.continuous;
    auto journal = std::make_unique<RunJournal>();
    if (!journal->Open(options.journalPath, JournalOpen::CreateNew, header, reason)) return nullptr;
    return journal;
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

// Connects through the session's worker so that Ctrl-C can abandon an attempt the network holds
// up (a server whose accept queue is full keeps a connect waiting for minutes). True when
// connected and not interrupted; an abandoned attempt reports the usual failure.
bool ConnectUnlessInterrupted(ServerSession& session, TaskQueue& tasks, comlux::ComluxClient& client,
                              const std::string& server, ConsoleObserver& console,
                              InterruptWatcher* watcher) {
    std::optional<ServerSession::ConnectOutcome> outcome;
    if (!session.ConnectAsync(server,
                              [&outcome](const ServerSession::ConnectOutcome& ended) { outcome = ended; }))
        return false;
    const auto over = [&outcome] { return outcome.has_value(); };
    std::atomic<bool> interrupted{false};
    if (watcher) {
        watcher->OnInterrupt([&] {
            interrupted = true;
            session.Cancel();
            tasks.Wake();
        });
    }
    tasks.RunUntil([&] { return over() || interrupted; });
    if (watcher) watcher->OnInterrupt({});
    if (interrupted) {
        // The attempt lets go of the client once its connection is closed under it.
        const bool let = tasks.RunUntil(over, std::chrono::steady_clock::now() + kStopGrace);
        console.Print(ServerSession::kConnectionFailed);
        if (!let) {
            // Stuck where nothing can reach it (resolving the name, say): end without it.
            client.CloseLogFile();
            _exit(kExitConnectionFailed);
        }
        return false;
    }
    for (const std::string& message : outcome->messages) console.Print(message);
    // An answer the client had to give up on while connecting (an object list over its size
    // limit, say) leaves the channel closed: there is nothing to run on.
    return outcome->result == ServerSession::ConnectResult::Connected && !outcome->closedDuringRequests;
}

// Starts the control API; kExitDone when it listens, else the exit status.
int ServeControl(ControlHost& control, const Options& options, ConsoleObserver& console) {
    ControlServerOptions serverOptions;
    serverOptions.address = options.controlAddress;
    serverOptions.port = *options.controlPort;
    if (!options.controlTokenPath.empty()) {
        std::string problem;
        serverOptions.token = ReadControlToken(options.controlTokenPath, problem);
        if (!problem.empty()) {
            console.Print("sequora-run: " + problem);
            return kExitBadUsage;
        }
    }
    control.Control().SetFile(options.cfgPath);
    std::string reason;
    if (!control.Serve(serverOptions, reason)) {
        console.Print("sequora-run: the control API " + reason);
        return kExitBadUsage;
    }
    console.Print("control http://" + options.controlAddress + ":" + std::to_string(control.Port()));
    return kExitDone;
}

// --wait: holds the run back until POST /start; false when a stop (or Ctrl-C) came first.
bool WaitForStart(ControlHost& control, InterruptWatcher* watcher) {
    if (watcher) watcher->OnInterrupt([&control] { control.Interrupt(); });
    const bool start = control.WaitForStart();
    if (watcher) watcher->OnInterrupt({});
    return start;
}

// The exit status of a run that ended as `end` says.
int RunStatus(const RunEndInfo& end) {
    if (end.how == RunEnd::ConnectionLost || !end.unconfirmedBits.empty()) return kExitRunFailed;
    if (!end.journalFailure.empty()) return kExitJournalIncomplete;
    return kExitDone;
}

// Plays the loaded list over a connected client; returns the exit status.
int PlayTrials(ItemList& items, ServerSession& session, comlux::ComluxClient& client,
               const std::string& server, const Options& options, std::uint32_t seed,
               std::unique_ptr<RunJournal> journal, ConsoleObserver& console, InterruptWatcher* watcher,
               ControlHost* control) {
    ComluxCommandSender sender(client);
    SteadyRunClock clock;
    std::optional<ControlledObserver> controlled;
    if (control) controlled.emplace(console, control->Control());
    TrialRunner runner(items, sender, controlled ? static_cast<RunObserver&>(*controlled) : console, clock);
    runner.SetTrialCount(options.trials);
    runner.SetRunContinuously(options.continuous);
    runner.SetSeed(seed);
    runner.SetJournal({"", server, options.cfgPath});
    if (journal) runner.SetOpenedJournal(std::move(journal), options.journalPath);
    runner.SetRealtime(true);
    if (!runner.Start()) return kExitConnectionFailed;
    // Ctrl-C and the control API's stop are one and the same.
    const auto stop = [&runner, &console] {
        runner.Stop();
        console.Wake();
    };
    if (control) control->Attach(&runner, stop);
    if (watcher) {
        watcher->OnInterrupt(stop);
        // A second Ctrl-C abandons the resets still to come: name every bit they were for.
        watcher->OnSecondInterrupt([&runner, &console, &client] {
            for (const int bit : runner.BitsNotConfirmed())
                console.Print(run_messages::BitMayStillBeOn(bit, run_messages::kResetsAbandoned));
            client.CloseLogFile();
        });
    }
    if (console.WaitForEnd() == ConsoleObserver::Waited::Woken) {
        // Stop: a command already sent may still wait for its answer; past the grace the
        // connection is closed under it. The resets that follow each await their own answer.
        if (!console.AwaitStopProgress(std::chrono::steady_clock::now() + kStopGrace)) session.Disconnect();
        while (console.WaitForEnd() != ConsoleObserver::Waited::Ended) {}
    }
    runner.WaitForWorkers();
    // The runner is about to go: a late Ctrl-C or request must not reach it any more.
    if (watcher) {
        watcher->OnInterrupt({});
        watcher->OnSecondInterrupt([&client] { client.CloseLogFile(); });
    }
    if (control) control->Attach(nullptr, {});
    const auto end = console.End();
    if (end && !end->timing.empty()) console.Print(end->timing);
    return end ? RunStatus(*end) : kExitDone;
}

int RunItemList(const Options& options, std::ostream& err, InterruptWatcher* watcher) {
    ItemList items;
    const LoadOutcome loaded = LoadItemFile(options.cfgPath, items, err);
    if (loaded == LoadOutcome::Unreadable) return kExitBadUsage;
    if (loaded == LoadOutcome::Partial && !options.partial) {
        err << "sequora-run: give --partial to run the rows that were read\n";
        return kExitReadInPart;
    }
    if (const std::string conflict = OutputPathConflict(options); !conflict.empty()) {
        err << "sequora-run: " << conflict << '\n';
        return kExitBadUsage;
    }
    const std::string server = options.server.empty() ? ComputerName() : options.server;
    // Fixed here, not by the runner: the journal's header names it before the run begins.
    SteadyRunClock clock;
    const std::uint32_t seed = options.seed ? *options.seed : SeedFromClock(clock);
    std::unique_ptr<RunJournal> journal;
    if (!options.journalPath.empty()) {
        std::string reason;
        journal = OpenJournal(options, server, seed, reason);
        if (!journal) {
            err << "sequora-run: cannot write the journal " << options.journalPath << ": " << reason << '\n';
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

    // Declared before the session, whose worker posts to it until the session is gone.
    TaskQueue tasks;
    ServerSession session(client, [&tasks](TaskQueue::Task task) { tasks.Post(std::move(task)); });
    std::unique_ptr<ControlHost> control;
    if (options.controlPort) {
        control = std::make_unique<ControlHost>();
        // Before the first request can come: a client never sees an idle runner unconnected.
        control->Control().SetConnecting(server);
        if (const int served = ServeControl(*control, options, console); served != kExitDone) return served;
    }
    int status = kExitConnectionFailed;
    if (ConnectUnlessInterrupted(session, tasks, client, server, console, watcher)) {
        if (control) control->Control().SetConnected(true, server);
        if (!options.wait || WaitForStart(*control, watcher)) {
            status = PlayTrials(items, session, client, server, options, seed, std::move(journal), console,
                                watcher, control.get());
        } else {
            status = kExitDone;
        }
    }
    // Also when not connected: the client then only logs that it was not.
    if (session.Connected() || status == kExitConnectionFailed) session.Disconnect();
    if (control) {
        control->Control().SetConnected(false, server);
        control->Close();
    }
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
        case Mode::Report: return ReportJournal(options.reportPath, out, err);
        case Mode::Run: break;
    }
    return RunItemList(options, err, watcher);
}

}  // namespace sequora::cli
