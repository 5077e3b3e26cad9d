#include "galdera/SimCommandLine.h"

#include <arpa/inet.h>
#include <charconv>
#include <cmath>
#include <optional>

#include "galdera/ObjectsFile.h"

namespace galdera {

namespace {

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

}  // namespace

std::string UsageText() {
    return "usage: galdera-sim [--bind ADDR] [--handout-port 26200] [--command-port 26100]\n"
           "                   [--objects FILE] [--rate RECORDS_PER_S] [--quiet]\n";
}

bool ParseCommandLine(const std::vector<std::string>& arguments, SimCommandLine& result, std::string& error) {
    std::optional<std::string> objectsFile;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        if (flag == "--quiet") {
            result.quiet = true;
            continue;
        }
        if (flag == "--help" || flag == "-h") {
            result.help = true;
            continue;
        }
        if (flag != "--bind" && flag != "--handout-port" && flag != "--command-port" && flag != "--objects" &&
            flag != "--rate") {
            error = "unknown option " + flag;
            return false;
        }
        if (i + 1 >= arguments.size()) {
            error = flag + " needs a value";
            return false;
        }
        const std::string& value = arguments[++i];
        if (flag == "--bind") {
            if (!IsIpv4(value)) {
                error = "--bind needs an IPv4 address, not " + value;
                return false;
            }
            result.options.bindAddress = value;
        } else if (flag == "--handout-port" || flag == "--command-port") {
            const auto port = ParsePort(value);
            if (!port) {
                error = flag + " needs a port number from 0 to 65535, not " + value;
                return false;
            }
            (flag == "--handout-port" ? result.options.handoutPort : result.options.commandPort) = *port;
        } else if (flag == "--rate") {
            const auto rate = ParseRate(value);
            if (!rate) {
                error = "--rate needs a number of records per second (0 or more), not " + value;
                return false;
            }
            result.options.recordsPerSecond = *rate;
        } else {
            objectsFile = value;
        }
    }
    if (result.options.handoutPort != 0 && result.options.handoutPort == result.options.commandPort) {
        error = "the hand-out port and the command port must differ";
        return false;
    }
    return !objectsFile || ReadObjectsFile(*objectsFile, result.options.objects, error);
}

}  // namespace galdera
