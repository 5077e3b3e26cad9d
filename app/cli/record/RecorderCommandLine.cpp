#include "app/cli/record/RecorderCommandLine.h"

#include <CLI/CLI.hpp>
#include <cmath>

#include "app/cli/record/RecordColumns.h"
#include "comlux/Version.h"

namespace sequora::record {

namespace {

const char kSummary[] =
    "Connects to the Galdera server as Sequora does, opens the data streams of the named\n"
    "objects and writes one tab-separated line per record that arrives, after a header line.\n"
    "Ctrl-C, SIGTERM, SIGHUP or the end of --seconds closes the streams and the connection\n"
    "within a second, start-up included; then the number of records of each object written\n"
    "goes to stderr, one \"OBJECT<tab>COUNT\" line each. The first failed write to the\n"
    "output ends the recording.";

const char kExitStatuses[] =
    "Exit status:\n"
    "  0 recorded with every requested stream open, until --seconds or a stop signal;\n"
    "  1 the connection failed, a requested object's stream could not be opened (stderr names\n"
    "    it and why: no port handed out, no listener, refused, or the server did not connect\n"
    "    it within 5 s), or a stop signal came before recording began;\n"
    "  2 bad usage, --out names a file that exists, or the output cannot be written (stderr\n"
    "    says after how many records);\n"
    "  3 an object the server does not have, or one of a data type without a stream.";

// The column list for the help text, from the same table the lines are written by.
std::string ColumnsText() {
    std::string text = "Columns (a header line names them):\n ";
    std::size_t lineLength = 1;
    for (std::string_view name : kColumns) {
        if (lineLength + 1 + name.size() > 88) {
            text += "\n ";
            lineLength = 1;
        }
        (text += ' ') += name;
        lineLength += 1 + name.size();
    }
    return text +
           "\n\n  receive_ms: when the record arrived, in ms since recording began; timestamp: the\n"
           "  record's own time stamp; number: its channel, tracker or event source number.\n"
           "  Spike kinds add cell, features, samples (all of the record's, in record order);\n"
           "  CSC: frequency, valid, samples (the valid ones); Event: event_id, ttl, text\n"
           "  (bytes outside printable ASCII, and \\, as \\xHH); Video: x, y, angle.\n"
           "  Lists are separated by blanks; a kind's other cells are empty.";
}

void Describe(CLI::App& app, RecorderOptions& options, double& seconds) {
    app.description(kSummary);
    app.footer(ColumnsText() + "\n\n" + kExitStatuses);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", std::string("comlux-record ") + COMLUX_VERSION_STRING + "\n",
                         "print the program's name and version and exit");
    app.add_option("--server", options.server,
                   "the Galdera server's name or address (default: this computer)")
        ->type_name("NAME");
    app.add_option("--seconds", seconds, "stop after S seconds (default: record until Ctrl-C)")
        ->type_name("S");
    app.add_option("--out", options.outPath,
                   "write the lines to FILE, which must not exist yet (a device or pipe may);\n"
                   "- or none: standard output")
        ->type_name("FILE|-");
    app.add_option("--log", options.logPath, "write the client log to PATH (default: no log)")
        ->type_name("PATH");
    app.add_option("OBJECT", options.objects, "a server object whose stream is recorded")
        ->type_name("")
        ->required();
}

}  // namespace

RecorderCommandLine ParseRecorderCommandLine(const std::vector<std::string>& args) {
    RecorderCommandLine result;
    CLI::App app("", "comlux-record");
    double seconds = 0;
    Describe(app, result.options, seconds);
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.outcome = RecorderCommandLine::Outcome::Help;
        result.text = app.help();
        return result;
    } catch (const CLI::CallForVersion& version) {
        result.outcome = RecorderCommandLine::Outcome::Help;
        result.text = version.what();
        return result;
    } catch (const CLI::ParseError& error) {
        result.text = error.what();
        return result;
    }
    if (app.count("--seconds") > 0) {
        if (!(seconds > 0) || !std::isfinite(seconds)) {
            result.text = "--seconds needs a number of seconds above 0";
            return result;
        }
        result.options.seconds = seconds;
    }
    result.outcome = RecorderCommandLine::Outcome::Record;
    return result;
}

}  // namespace sequora::record
