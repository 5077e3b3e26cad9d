#include "app/cli/SequoraRun.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleObserver.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/ListSave.h"
#include "app/core/CfgSetup.h"
#include "app/core/ComluxCommandSender.h"
#include "app/core/ItemList.h"
#include "app/core/ServerSession.h"
#include "app/core/SteadyRunClock.h"
#include "app/core/TrialRunner.h"
#include "comlux/ComluxClient.h"
#include "comlux/HostNames.h"

namespace sequora::cli {

namespace {

std::string ComputerName() {
    const std::string name = comlux::ComputerName();
    return name.empty() ? "localhost" : name;
}

bool Readable(const std::string& path) {
    // A directory opens like a file but reads as nothing, which would run an empty list.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return false;
    std::ifstream file(path, std::ios::binary);
    return file.good();
}

// Plays the loaded list over a connected client; returns the exit status.
int PlayTrials(ItemList& items, comlux::ComluxClient& client, const Options& options,
               ConsoleObserver& console, InterruptWatcher* watcher) {
    ComluxCommandSender sender(client);
    SteadyRunClock clock;
    TrialRunner runner(items, sender, console, clock);
    runner.SetTrialCount(options.trials);
    runner.SetRunContinuously(options.continuous);
    if (!runner.Start()) return kExitConnectionFailed;
    if (watcher) watcher->OnInterrupt([&runner] { runner.Stop(); });
    runner.WaitForWorkers();
    // The runner is about to go: a late Ctrl-C must not reach it any more.
    if (watcher) watcher->OnInterrupt({});
    // Ctrl-C is Stop, the ordinary end of a continuous run, not a failure.
    return kExitDone;
}

int RunItemList(const Options& options, std::ostream& err, InterruptWatcher* watcher) {
    if (!Readable(options.cfgPath)) {
        err << "sequora-run: cannot read " << options.cfgPath << '\n';
        return kExitBadUsage;
    }
    ItemList items;
    CfgSetup(items, std::chrono::milliseconds(0)).Load(options.cfgPath);

    ConsoleObserver console(err);
    comlux::ComluxClient client;
    client.SetMessageHandler([&console](const std::string& text) { console.Print(text); });
    // The window runs on silently without a log; a path asked for explicitly deserves a word.
    if (options.logPath.empty()) {
        client.OpenLogFile(ServerSession::LogFilePathBesideExecutable());
    } else if (!client.OpenLogFile(options.logPath)) {
        console.Print("sequora-run: cannot open the log file " + options.logPath + "; running without it");
    }

    ServerSession session(client);
    const std::string server = options.server.empty() ? ComputerName() : options.server;
    const auto show = [&console](const std::string& text) { console.Print(text); };
    int status = kExitConnectionFailed;
    if (session.Connect(server, show)) {
        status = watcher && watcher->Interrupted() ? kExitDone
                                                   : PlayTrials(items, client, options, console, watcher);
    }
    session.Disconnect();
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
        case Mode::List: return ListItems(options.cfgPath, out, err);
        case Mode::Save: return SaveItems(options.outPath, options.cfgPath, err);
        case Mode::Run: break;
    }
    return RunItemList(options, err, watcher);
}

}  // namespace sequora::cli
