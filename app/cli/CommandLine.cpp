#include "app/cli/CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

namespace sequora::cli {

namespace {

std::optional<int> WholeInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

ParseResult Failure(std::string error) {
    ParseResult result;
    result.error = std::move(error);
    return result;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    Options options;
    bool trialsGiven = false;
    bool runOptionGiven = false;
    std::vector<std::string> files;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.mode = Mode::Help;
            ParseResult result;
            result.ok = true;
            result.options = options;
            return result;
        } else if (arg == "--server" || arg == "--log") {
            if (!value(arg == "--server" ? options.server : options.logPath))
                return Failure(arg + " needs a value");
            runOptionGiven = true;
        } else if (arg == "--trials") {
            std::string text;
            if (!value(text)) return Failure("--trials needs a value");
            const auto trials = WholeInteger(text);
            if (!trials) return Failure("--trials needs an integer, not \"" + text + "\"");
            options.trials = *trials;
            trialsGiven = runOptionGiven = true;
        } else if (arg == "--continuous") {
            options.continuous = runOptionGiven = true;
        } else if (arg == "--list" || arg == "--save") {
            if (options.mode != Mode::Run) return Failure("only one of --list and --save may be given");
            options.mode = arg == "--list" ? Mode::List : Mode::Save;
            if (options.mode == Mode::Save && !value(options.outPath)) return Failure("--save needs OUT.cfg");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return Failure("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }

    if (trialsGiven && options.continuous) return Failure("--trials and --continuous exclude each other");
    if (options.mode != Mode::Run && runOptionGiven) return Failure("--list and --save take no run options");
    if (files.size() != 1)
        return Failure(files.empty() ? "FILE.cfg is missing" : "only one FILE.cfg may be given");
    options.cfgPath = files.front();

    ParseResult result;
    result.ok = true;
    result.options = options;
    return result;
}

std::string UsageText() {
    return "usage: sequora-run [--server NAME] [--trials N | --continuous] [--log PATH] FILE.cfg\n"
           "       sequora-run --list FILE.cfg\n"
           "       sequora-run --save OUT.cfg FILE.cfg\n"
           "Runs the item list of FILE.cfg against the Galdera server NAME (default: this\n"
           "computer) for N trials (default 1) or until Ctrl-C; --list prints the rows,\n"
           "--save writes the list back in the standard layout.\n";
}

}  // namespace sequora::cli
