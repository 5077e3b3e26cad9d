#include "galdera/SimCommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <chrono>
#include <cmath>
#include <optional>
#include <sstream>

#include "galdera/ObjectsFile.h"

namespace galdera {

namespace {

constexpr const char* kProgram = "galdera-sim";
constexpr const char* kDescription = "galdera-sim: a stand-in acquisition server for the Comlux client";
// The range --idle-timeout takes, in seconds: a millisecond to a day.
constexpr double kMinIdleSeconds = 0.001;
constexpr double kMaxIdleSeconds = 86400;

/// The option values as typed; checked and converted after CLI11 has split the command line.
struct TypedValues {
    std::string bindAddress;
    std::string handoutPort;
    std::string commandPort;
    std::string rate;
    std::string idleTimeout;
    std::string objectsFile;
    bool objectsGiven = false;  ///< an empty --objects value is refused, not taken as "none"
    bool quiet = false;
};

std::string NumberText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

TypedValues Defaults() {
    const ServerOptions defaults;
    TypedValues values;
    values.bindAddress = defaults.bindAddress;
    values.handoutPort = std::to_string(defaults.handoutPort);
    values.commandPort = std::to_string(defaults.commandPort);
    values.rate = NumberText(defaults.recordsPerSecond);
    values.idleTimeout = NumberText(std::chrono::duration<double>(defaults.idleTimeout).count());
    return values;
}

/// The parser, bound to `values` (which must outlive it); repeated options keep the last value.
void DefineOptions(CLI::App& app, TypedValues& values) {
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // Arguments it does not know are left over; ParseCommandLine names the first as unknown.
    app.allow_extras();
    app.add_option("--bind", values.bindAddress, "IPv4 address to listen on")
        ->type_name("ADDR")
        ->capture_default_str();
    app.add_option("--handout-port", values.handoutPort,
                   "port that hands out the command port (0: any free port)")
        ->type_name("PORT")
        ->capture_default_str();
    app.add_option("--command-port", values.commandPort, "port that serves commands (0: any free port)")
        ->type_name("PORT")
        ->capture_default_str();
    app.add_option("--objects", values.objectsFile,
                   "\"name type\" lines naming the objects (default: a few of each data type)")
        ->type_name("FILE");
    app.add_option("--rate", values.rate, "records per second sent for each opened object")
        ->type_name("RECORDS_PER_S")
        ->capture_default_str();
    app.add_option(
           "--idle-timeout", values.idleTimeout,
           "close a connection silent for S seconds (unless it streams), and an unused handed-out port")
        ->type_name("S")
        ->capture_default_str();
    app.add_flag("--quiet", values.quiet, "print nothing per command received");
    app.set_version_flag("--version", VersionText(), "print the program's name and version and exit");
}

std::optional<int> ParsePort(const std::string& text) {
    int value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535)
        return std::nullopt;
    return value;
}

std::optional<double> ParseRate(const std::string& text) {
    double value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    return value;
}

bool IsIpv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool ConvertPort(const std::string& flag, const std::string& text, int& port, std::string& error) {
    const auto parsed = ParsePort(text);
    if (!parsed) {
        error = flag + " needs a port number from 0 to 65535, not " + text;
        return false;
    }
    port = *parsed;
    return true;
}

/// Converts the typed values into `line`; false with `error` set when one does not fit.
bool Convert(const TypedValues& values, SimCommandLine& line, std::string& error) {
    if (!IsIpv4(values.bindAddress)) {
        error = "--bind needs an IPv4 address, not " + values.bindAddress;
        return false;
    }
    line.options.bindAddress = values.bindAddress;
    if (!ConvertPort("--handout-port", values.handoutPort, line.options.handoutPort, error) ||
        !ConvertPort("--command-port", values.commandPort, line.options.commandPort, error)) {
        return false;
    }
    const auto rate = ParseRate(values.rate);
    if (!rate) {
        error = "--rate needs a number of records per second (0 or more), not " + values.rate;
        return false;
    }
    line.options.recordsPerSecond = *rate;
    const auto idle = ParseRate(values.idleTimeout);
    if (!idle || *idle < kMinIdleSeconds || *idle > kMaxIdleSeconds) {
        error = "--idle-timeout needs a number of seconds from 0.001 to 86400, not " + values.idleTimeout;
        return false;
    }
    line.options.idleTimeout =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(*idle));
    if (line.options.handoutPort != 0 && line.options.handoutPort == line.options.commandPort) {
        error = "the hand-out port and the command port must differ";
        return false;
    }
    line.quiet = values.quiet;
    return !values.objectsGiven || ReadObjectsFile(values.objectsFile, line.options.objects, error);
}

}  // namespace

std::string VersionText() {
    return std::string(kProgram) + " " + SEQUORA_VERSION + "\n";
}

std::string HelpText() {
    CLI::App app(kDescription, kProgram);
    TypedValues values = Defaults();
    DefineOptions(app, values);
    return app.help();
}

SimParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
    SimParseResult result;
    CLI::App app(kDescription, kProgram);
    TypedValues values = Defaults();
    DefineOptions(app, values);
    // The program takes no operands: "--" may end the options, and nothing may follow it.
    const auto endOfOptions = std::find(arguments.begin(), arguments.end(), "--");
    if (endOfOptions != arguments.end() && endOfOptions + 1 != arguments.end()) {
        result.error = "unexpected argument " + *(endOfOptions + 1);
        return result;
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(std::make_reverse_iterator(endOfOptions), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.commandLine.help = true;
        result.ok = true;
        return result;
    } catch (const CLI::CallForVersion&) {
        result.commandLine.version = true;
        result.ok = true;
        return result;
    } catch (const CLI::ParseError& failure) {
        result.error = failure.what();
        return result;
    }
    if (!app.remaining().empty()) {
        result.error = "unknown option " + app.remaining().front();
        return result;
    }
    values.objectsGiven = app.count("--objects") > 0;
    result.ok = Convert(values, result.commandLine, result.error);
    return result;
}

}  // namespace galdera
