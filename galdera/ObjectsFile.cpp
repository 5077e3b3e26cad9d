#include "galdera/ObjectsFile.h"

#include <fstream>
#include <optional>
#include <string_view>

namespace galdera {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

/// One object from a non-empty, trimmed line; nullopt with `error` set when it is malformed.
std::optional<ServerObject> ParseLine(std::string_view line, std::string& error) {
    ServerObject object;
    std::string_view rest;
    if (line.front() == '"') {
        const auto close = line.find('"', 1);
        if (close == std::string_view::npos) {
            error = "missing closing double quote";
            return std::nullopt;
        }
        object.name = std::string(line.substr(1, close - 1));
        rest = line.substr(close + 1);
        if (!rest.empty() && kBlanks.find(rest.front()) == std::string_view::npos) {
            error = "a blank must follow the quoted name";
            return std::nullopt;
        }
    } else {
        const auto end = line.find_first_of(kBlanks);
        object.name = std::string(line.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : line.substr(end);
    }
    rest = Trim(rest);
    if (object.name.empty()) {
        error = "empty object name";
    } else if (rest.empty()) {
        error = "missing data type after the name";
    } else if (rest.find_first_of(kBlanks) != std::string_view::npos) {
        error = "more than a name and a data type";
    } else {
        object.type = std::string(rest);
        return object;
    }
    return std::nullopt;
}

}  // namespace

bool ReadObjects(std::istream& in, std::vector<ServerObject>& objects, std::string& error) {
    std::vector<ServerObject> read;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        std::string problem;
        auto object = ParseLine(trimmed, problem);
        if (!object) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
        read.push_back(std::move(*object));
    }
    if (in.bad()) {
        error = "read error";
        return false;
    }
    objects = std::move(read);
    return true;
}

bool ReadObjectsFile(const std::string& path, std::vector<ServerObject>& objects, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    if (!ReadObjects(in, objects, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace galdera
