#include "app/cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "app/core/ControlServer.h"
#include "comlux/Version.h"

namespace sequora::cli {

namespace {

const char kProgram[] = "sequora-run";
const char kEndOfOptions[] = "--";

const char kSynopsis[] =
    "usage: sequora-run [--server NAME] [--trials N | --continuous] [--seed N] [--journal PATH]\n"
    "                   [--partial] [--log PATH] [--control [ADDR:]PORT [--wait] [--control-token FILE]]\n"
    "                   [--] FILE.cfg\n"
    "       sequora-run --list [--] FILE.cfg\n"
    "       sequora-run --save OUT.cfg [--] FILE.cfg\n"
    "       sequora-run --report JOURNAL.tsv\n"
    "       sequora-run --help | --version\n";

const char kSummary[] =
    "Runs the item list of FILE.cfg against the Galdera server NAME (default: this\n"
    "computer) for N trials (default 1) or until Ctrl-C; --list prints the rows,\n"
    "--save writes the list back in the standard layout, --report prints the timing\n"
    "summary of a saved run journal. FILE.cfg - reads standard input; -- ends the options.\n"
    "The client log goes beside the program, or for an installed program to\n"
    "$XDG_STATE_HOME/Sequora/ (default ~/.local/state/Sequora/), unless --log names it.\n";

const char kRules[] =
    "\nStop: Ctrl-C, SIGTERM and SIGHUP stop the run. Every TTL bit it set on and did not\n"
    "reset gets one reset, in the order set, each awaiting its own answer; then it says\n"
    "\"Reset bits 0, 5, 31.\", or \"Bit 5 may still be on: <reason>.\" for each bit it could\n"
    "not confirm (exit 3). A second Ctrl-C abandons the resets and names those bits.\n"
    "\nOutputs: --journal and --log may not name FILE.cfg or each other (the same file by\n"
    "identity, whatever the spelling), and --journal never replaces an existing file;\n"
    "the journal's header is written before connecting. The client log is replaced at start.\n"
    "\nExit status: 0 done (or stopped); 1 the connection failed; 2 bad usage, FILE.cfg\n"
    "unreadable, or an output refused or unwritable; 3 a command could not be sent or\n"
    "answered, or a bit may still be on; 4 FILE.cfg read only in part; 5 the run ended as\n"
    "asked but its journal is incomplete; 130 a second Ctrl-C.\n";

// The arguments as given, before their values are checked.
struct GivenArgs {
    std::string server, trials, seed, journal, log, save, report, control, token;
    bool continuous = false, list = false, partial = false, wait = false;
    std::vector<std::string> files;
};

// The options that only a run takes, as the parser names them.
const char* const kRunOptions[] = {"--server", "--trials",  "--continuous", "--seed",         "--journal",
                                   "--log",    "--control", "--wait",       "--control-token"};
// The options that take a value, with the word shown when the value is missing.
const std::pair<const char*, const char*> kValueOptions[] = {
    {"--server", "a value"},     {"--trials", "a value"},      {"--seed", "a value"},
    {"--journal", "a value"},    {"--log", "a value"},         {"--save", "OUT.cfg"},
    {"--report", "JOURNAL.tsv"}, {"--control", "[ADDR:]PORT"}, {"--control-token", "FILE"}};

void Describe(CLI::App& app, GivenArgs& given) {
    app.description(kSummary);
    app.footer(std::string("\n") + kSynopsis + kRules);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", VersionText(), "print the program's name and version and exit");
    const auto value = [&app](const char* name, std::string& target, const char* type, const char* text) {
        app.add_option(name, target, text)
            ->type_name(type)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    value("--server", given.server, "NAME", "the Galdera server's name or address (default: this computer)");
    value("--trials", given.trials, "N", "number of trials to play, 1 or more (default 1)");
    app.add_flag("--continuous", given.continuous, "repeat the trials until Ctrl-C");
    value("--seed", given.seed, "N",
          "seed of the random delays and command choices, 0 to 4294967295 (default: from the clock)");
    value("--journal", given.journal, "PATH",
          "write the run journal (every command and delay, timed) to PATH, a new file");
    app.add_flag("--partial", given.partial, "run a list that could be read only in part");
    value("--log", given.log, "PATH", "the client log file (default: see above)");
    app.add_flag("--list", given.list,
                 "print the loaded rows as JSON arrays of UTF-8 text (a byte that is not UTF-8 is read as "
                 "Latin-1), run nothing");
    value("--save", given.save, "OUT.cfg", "write the loaded list to OUT.cfg in the standard layout");
    value("--control", given.control, "[ADDR:]PORT",
          "serve the HTTP control API on PORT (0: any free one) of ADDR (default 127.0.0.1)");
    app.add_flag("--wait", given.wait,
                 "with --control: connect, then wait for POST /start before the first trial");
    value("--control-token", given.token, "FILE",
          "every control request needs \"Authorization: Bearer\" with the token in FILE (owner-only); "
          "needed for an address other than loopback");
    value("--report", given.report, "JOURNAL.tsv",
          "print the timing summary of a saved run journal (exit 4 when it is cut short)");
    app.add_option("FILE.cfg", given.files, "the item list")->type_name("");
    // Unknown options are reported in this program's own words below.
    app.allow_extras();
}

std::optional<int> WholeInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<std::uint32_t> Seed(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || value > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

ParseResult Failure(std::string error) {
    ParseResult result;
    result.error = std::move(error);
    return result;
}

// The parser's complaint about a value option, in the words sequora-run always used.
std::string MissingValue(const std::string& parserMessage) {
    for (const auto& [name, what] : kValueOptions) {
        if (parserMessage.rfind(std::string(name) + ":", 0) == 0) return std::string(name) + " needs " + what;
    }
    return parserMessage;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CLI::App app("", kProgram);
    GivenArgs given;
    Describe(app, given);
    // Everything after "--" is a file name, whatever it looks like.
    const auto endOfOptions = std::find(args.begin(), args.end(), kEndOfOptions);
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(std::make_reverse_iterator(endOfOptions), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        ParseResult result;
        result.ok = true;
        result.options.mode = Mode::Help;
        return result;
    } catch (const CLI::CallForVersion&) {
        ParseResult result;
        result.ok = true;
        result.options.mode = Mode::Version;
        return result;
    } catch (const CLI::ArgumentMismatch& error) {
        return Failure(MissingValue(error.what()));
    } catch (const CLI::ParseError& error) {
        return Failure(error.what());
    }

    for (const std::string& extra : app.remaining()) {
        if (extra.size() > 1 && extra[0] == '-') return Failure("unknown option " + extra);
        given.files.push_back(extra);
    }
    if (endOfOptions != args.end()) given.files.insert(given.files.end(), endOfOptions + 1, args.end());

    Options options;
    options.server = given.server;
    options.logPath = given.log;
    options.journalPath = given.journal;
    options.continuous = given.continuous;
    options.partial = given.partial;
    options.outPath = given.save;
    const bool trialsGiven = app.count("--trials") > 0;
    if (trialsGiven) {
        const auto trials = WholeInteger(given.trials);
        if (!trials) return Failure("--trials needs an integer, not \"" + given.trials + "\"");
        if (*trials < 1) return Failure("--trials needs 1 or more, not " + given.trials);
        options.trials = *trials;
    }
    if (app.count("--seed") > 0) {
        options.seed = Seed(given.seed);
        if (!options.seed)
            return Failure("--seed needs a whole number from 0 to 4294967295, not \"" + given.seed + "\"");
    }
    if (app.count("--control") > 0) {
        const std::size_t colon = given.control.rfind(':');
        const std::string port = colon == std::string::npos ? given.control : given.control.substr(colon + 1);
        const auto number = WholeInteger(port);
        if (!number || *number < 0 || *number > 65535)
            return Failure("--control needs a port from 0 to 65535, not \"" + given.control + "\"");
        options.controlPort = *number;
        if (colon != std::string::npos) options.controlAddress = given.control.substr(0, colon);
        if (options.controlAddress.empty()) return Failure("--control needs an address before the colon");
        options.controlTokenPath = given.token;
        if (!IsLoopbackAddress(options.controlAddress) && options.controlTokenPath.empty())
            return Failure("--control on " + options.controlAddress + " needs --control-token FILE");
    }
    options.wait = given.wait;
    if ((given.wait || app.count("--control-token") > 0) && !options.controlPort)
        return Failure("--wait and --control-token need --control");
    const bool saveGiven = app.count("--save") > 0;
    if (given.list && saveGiven) return Failure("only one of --list and --save may be given");
    const bool reportGiven = app.count("--report") > 0;
    if (reportGiven && (given.list || saveGiven)) return Failure("--report excludes --list and --save");
    if (given.list) options.mode = Mode::List;
    if (saveGiven) options.mode = Mode::Save;

    bool runOptionGiven = false;
    for (const char* name : kRunOptions) runOptionGiven = runOptionGiven || app.count(name) > 0;
    if (trialsGiven && options.continuous) return Failure("--trials and --continuous exclude each other");
    if (options.mode != Mode::Run && runOptionGiven) return Failure("--list and --save take no run options");
    if (reportGiven) {
        if (runOptionGiven) return Failure("--report takes no run options");
        if (!given.files.empty()) return Failure("--report takes no FILE.cfg");
        options.mode = Mode::Report;
        options.reportPath = given.report;
        ParseResult result;
        result.ok = true;
        result.options = options;
        return result;
    }
    if (given.files.size() != 1)
        return Failure(given.files.empty() ? "FILE.cfg is missing" : "only one FILE.cfg may be given");
    options.cfgPath = given.files.front();

    ParseResult result;
    result.ok = true;
    result.options = options;
    return result;
}

std::string UsageText() {
    return kSynopsis;
}

std::string VersionText() {
    return std::string(kProgram) + " " + COMLUX_VERSION_STRING + "\n";
}

std::string HelpText() {
    CLI::App app("", kProgram);
    GivenArgs given;
    Describe(app, given);
    return app.help();
}

}  // namespace sequora::cli
