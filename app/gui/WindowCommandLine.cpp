#include "app/gui/WindowCommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>

#include "comlux/Version.h"

namespace sequora::gui {

namespace {

const char kSummary[] =
    "The Sequora window: builds experiment item lists and plays them as trials against the\n"
    "Galdera server. FILE.cfg is opened into the list at start-up.\n"
    "The client log goes beside the program, or for an installed program to\n"
    "$XDG_STATE_HOME/Sequora/ (default ~/.local/state/Sequora/), unless --log names it.\n";

// Ten minutes: any picture worth waiting for is there by then.
constexpr int kLongestScreenshotWaitMs = 600000;

void Describe(CLI::App& app, WindowOptions& options) {
    app.description(kSummary);
    app.footer(std::string("\n") + kWindowUsage + "\n");
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", std::string("sequora ") + COMLUX_VERSION_STRING,
                         "print the program's name and version and exit");
    app.add_option("--server", options.server, "the Galdera server's name or address (default: as last time)")
        ->type_name("NAME")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--connect", options.connect, "connect to the server once the window is open");
    app.add_flag("--start", options.start, "start the run once the list is open and the window connected");
    app.add_option("--log", options.log, "the client log file (default: see above)")
        ->type_name("PATH")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* screenshot = app.add_option("--screenshot", options.screenshot,
                                      "render the window as it looks after start-up into FILE.png and exit")
                           ->type_name("FILE.png")
                           ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--screenshot-after", options.screenshotAfterMs,
                   "let the window work MS milliseconds (e.g. into a run begun with --start) before the "
                   "picture is taken")
        ->type_name("MS")
        ->check(CLI::Range(0, kLongestScreenshotWaitMs).description(""))
        ->needs(screenshot)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option(
           "--control", options.controlPort,
           "serve the HTTP control API on 127.0.0.1:PORT (0: any free port; default: the control/port "
           "setting, else none)")
        ->type_name("PORT")
        ->check(CLI::Range(0, 65535).description(""))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* file = app.add_option("FILE.cfg", options.file, "an item list to open")->type_name("");
    app.add_option("--timing", options.timing,
                   "show the timing report of a saved run journal (with --screenshot: render it there)")
        ->type_name("JOURNAL.tsv")
        ->excludes(file)
        ->excludes("--connect")
        ->excludes("--start")
        ->excludes("--control")
        ->excludes("--screenshot-after")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

}  // namespace

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                         std::ostream& err) {
    CLI::App app("", "sequora");
    WindowOptions options;
    Describe(app, options);
    WindowCommandLine result;
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        result.exitStatus = 0;
        return result;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << std::endl;
        result.exitStatus = 0;
        return result;
    } catch (const CLI::ParseError& error) {
        err << "sequora: " << error.what() << "\n" << kWindowUsage << std::endl;
        result.exitStatus = 2;
        return result;
    }
    result.options = std::move(options);
    return result;
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') return true;
    }
    return false;
}

}  // namespace sequora::gui
