// galdera-sim: a stand-in acquisition server for demos, tests and benchmarks.
#include <csignal>
#include <iostream>
#include <pthread.h>

#include "galdera/GalderaServer.h"
#include "galdera/SimCommandLine.h"

int main(int argc, char** argv) {
    galdera::SimParseResult parsed = galdera::ParseCommandLine({argv + 1, argv + argc});
    if (!parsed.ok) {
        std::cerr << "galdera-sim: " << parsed.error << '\n' << galdera::HelpText();
        return 2;
    }
    galdera::SimCommandLine& commandLine = parsed.commandLine;
    if (commandLine.help) {
        std::cout << galdera::HelpText();
        return 0;
    }
    if (commandLine.version) {
        std::cout << galdera::VersionText();
        return 0;
    }
    if (!commandLine.quiet) commandLine.options.echo = &std::cout;
    commandLine.options.notices = &std::cerr;

    // Blocked before any thread starts, so every thread inherits the mask and sigwait below
    // is the only place SIGINT/SIGTERM arrive.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const galdera::ServerOptions& options = commandLine.options;
    const std::string where = options.bindAddress + " ports " + std::to_string(options.handoutPort) +
                              " and " + std::to_string(options.commandPort);
    const std::string bindAddress = options.bindAddress;
    galdera::GalderaServer server(std::move(commandLine.options));
    if (!server.Start()) {
        std::cerr << "galdera-sim: cannot listen on " << where << " (in use or not a local address)\n";
        return 1;
    }
    std::cerr << "galdera-sim: listening on " << bindAddress << ", hand-out port " << server.HandoutPort()
              << ", command port " << server.CommandPort() << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
    return 0;
}
