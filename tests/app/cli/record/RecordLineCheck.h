#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/record/RecordColumns.h"
#include "comlux/StreamKinds.h"
#include "galdera/GalderaServer.h"
#include "galdera/Records.h"

namespace recordcheck {

/// A line split at its tabs.
inline std::vector<std::string> SplitCells(const std::string& line) {
    std::vector<std::string> cells(1);
    for (const char c : line) {
        if (c == '\t') {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

/// The lines of a text, without their line ends; false in `whole` when the last one had none.
inline std::vector<std::string> Lines(const std::string& text, bool* whole = nullptr) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (whole) *whole = text.empty() || text.back() == '\n';
    return lines;
}

/// The whole cell as an integer, or nullopt when it is not one.
inline std::optional<long long> Integer(const std::string& cell) {
    if (cell.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(cell.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

/// The blank-separated integers of a list cell; nullopt when one is not an integer.
inline std::optional<std::vector<long long>> IntegerList(const std::string& cell) {
    std::vector<long long> values;
    std::istringstream in(cell);
    for (std::string word; in >> word;) {
        const auto value = Integer(word);
        if (!value) return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

/// What a record of a galdera-sim object must show.
struct Expected {
    comlux::StreamKind kind;
    int number;  ///< the number galdera-sim puts into the object's records
};

/// The default objects of galdera-sim by name, with their kinds and record numbers.
inline std::map<std::string, Expected> DefaultObjects() {
    const auto objects = galdera::DefaultObjects();
    std::map<std::string, Expected> expected;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const auto kind = comlux::StreamKindOfDataType(objects[i].type);
        if (kind) expected[objects[i].name] = {*kind, galdera::RecordNumber(objects, i)};
    }
    return expected;
}

/// Why a line of comlux-record's output does not hold a sound record of galdera-sim, or "" when it
/// does: sixteen cells, a known object with its kind and number, each field of the kind in the
/// range galdera-sim writes, the other cells empty.
inline std::string Problem(const std::string& line, const std::map<std::string, Expected>& objects) {
    const std::vector<std::string> cells = SplitCells(line);
    if (cells.size() != sequora::record::kColumns.size()) return "not 16 cells";
    std::map<std::string, std::string> cell;
    for (std::size_t i = 0; i < cells.size(); ++i) cell[std::string(sequora::record::kColumns[i])] = cells[i];

    char* end = nullptr;
    const double receiveMs = std::strtod(cell["receive_ms"].c_str(), &end);
    if (cell["receive_ms"].empty() || *end != '\0' || receiveMs < 0) return "receive_ms is not a time";
    const auto object = objects.find(cell["object"]);
    if (object == objects.end()) return "unknown object " + cell["object"];
    const comlux::StreamKind kind = object->second.kind;
    if (cell["kind"] != comlux::InfoOf(kind).kindWord)
        return "kind " + cell["kind"] + " for " + object->first;
    const auto timestamp = Integer(cell["timestamp"]);
    if (!timestamp || *timestamp < 0) return "timestamp is not a count of microseconds";
    if (Integer(cell["number"]) != object->second.number) return "number " + cell["number"];

    std::vector<std::string> used = {"receive_ms", "object", "kind", "timestamp", "number"};
    const auto samplesInRange = [&](std::size_t count) {
        const auto samples = IntegerList(cell["samples"]);
        if (!samples || samples->size() != count) return false;
        for (const long long sample : *samples) {
            if (sample < INT16_MIN || sample > INT16_MAX) return false;
        }
        return true;
    };
    if (comlux::IsSpikeKind(kind)) {
        const auto cellNumber = Integer(cell["cell"]);
        if (!cellNumber || *cellNumber < 0 || *cellNumber > 3) return "cell " + cell["cell"];
        if (cell["features"] != "0 100 200 300 400 500 600 700") return "features " + cell["features"];
        const auto samples = static_cast<std::size_t>(comlux::InfoOf(kind).recordSize - 48) / 2;
        if (!samplesInRange(samples)) return "samples of a spike";
        used.insert(used.end(), {"cell", "features", "samples"});
    } else if (kind == comlux::StreamKind::Csc) {
        if (cell["frequency"] != "32000" || cell["valid"] != "512") return "frequency or valid count";
        if (!samplesInRange(512)) return "samples of a CSC record";
        used.insert(used.end(), {"frequency", "valid", "samples"});
    } else if (kind == comlux::StreamKind::Event) {
        const auto ttl = Integer(cell["ttl"]);
        if (cell["event_id"] != "11" || !ttl || *ttl < 0 || *ttl > 255) return "event id or TTL";
        if (cell["text"].rfind("Simulated event ", 0) != 0) return "text " + cell["text"];
        used.insert(used.end(), {"event_id", "ttl", "text"});
    } else {
        const auto x = Integer(cell["x"]), y = Integer(cell["y"]), angle = Integer(cell["angle"]);
        if (!x || *x < 220 || *x > 420 || !y || *y < 140 || *y > 340)
            return "position " + cell["x"] + "," + cell["y"];
        if (!angle || *angle < 0 || *angle > 359) return "angle " + cell["angle"];
        used.insert(used.end(), {"x", "y", "angle"});
    }
    for (const auto& [name, text] : cell) {
        const bool isUsed = std::find(used.begin(), used.end(), name) != used.end();
        if (!isUsed && !text.empty()) return name + " should be empty for " + cell["kind"];
    }
    return "";
}

}  // namespace recordcheck
