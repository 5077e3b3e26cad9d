#include "galdera/CommandTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

#include "galdera/Framing.h"
#include "galdera/Records.h"

namespace galdera {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";
// Records a "-RequestRingBuffer" answer holds.
constexpr int kRingBufferRecords = 4;

using Handler = std::vector<unsigned char> (*)(CommandContext&, const std::string& arguments);

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<unsigned char> Text(const std::string& text) {
    return TextPayload(text);
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::size_t position = 0;
    while ((position = text.find_first_not_of(kBlanks, position)) != std::string::npos) {
        const auto end = text.find_first_of(kBlanks, position);
        words.push_back(text.substr(position, end - position));
        position = end;
    }
    return words;
}

// Object names reach the server unquoted; a quoted name is accepted too.
std::optional<std::size_t> FindObject(const CommandContext& context, const std::string& arguments) {
    std::string name = Trim(arguments);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    const auto& objects = context.Objects();
    const auto found = std::find_if(objects.begin(), objects.end(),
                                    [&](const ServerObject& object) { return object.name == name; });
    if (found == objects.end()) return std::nullopt;
    return static_cast<std::size_t>(found - objects.begin());
}

// "<name> <type>" where the name may hold blanks: the type is the last word.
std::optional<std::size_t> FindObjectAndType(const CommandContext& context, const std::string& arguments) {
    const std::string trimmed = Trim(arguments);
    const auto split = trimmed.find_last_of(kBlanks);
    if (split == std::string::npos) return std::nullopt;
    const std::string type = trimmed.substr(split + 1);
    const auto index = FindObject(context, trimmed.substr(0, split));
    if (!index || context.Objects()[*index].type != type) return std::nullopt;
    return index;
}

std::optional<StreamKind> KindOfObject(const CommandContext& context, const std::string& arguments) {
    const auto index = FindObject(context, arguments);
    if (!index) return std::nullopt;
    return StreamKindOf(context.Objects()[*index].type);
}

std::vector<unsigned char> NextPort(CommandContext& context, const std::string&) {
    const int port = context.NextAvailablePort();
    return Text(port > 0 ? "0 " + std::to_string(port) : "-1");
}

std::vector<unsigned char> ApplicationName(CommandContext&, const std::string&) {
    return Text(kApplicationName);
}

std::vector<unsigned char> ObjectNames(CommandContext& context, const std::string&) {
    std::vector<std::string> names;
    for (const ServerObject& object : context.Objects()) names.push_back(object.name);
    return Text("0 " + JoinItems(names));
}

std::vector<unsigned char> ObjectTypes(CommandContext& context, const std::string&) {
    std::vector<std::string> types;
    for (const ServerObject& object : context.Objects()) types.push_back(object.type);
    return Text("0 " + JoinItems(types));
}

std::vector<unsigned char> CreateStream(CommandContext& context, const std::string& arguments) {
    const auto words = SplitWords(arguments);
    if (words.size() != 3) return Text("-1");
    const auto port = ParseInt(words[1]);
    if (!port || *port <= 0 || *port > 65535) return Text("-1");
    return Text(context.CreateStream(words[0], *port, words[2]) ? "0" : "-1");
}

std::vector<unsigned char> OpenStream(CommandContext& context, const std::string& arguments) {
    const auto index = FindObjectAndType(context, arguments);
    return Text(index && context.OpenStream(*index) ? "0" : "-1");
}

std::vector<unsigned char> CloseStream(CommandContext& context, const std::string& arguments) {
    const auto index = FindObjectAndType(context, arguments);
    return Text(index && context.CloseStream(*index) ? "0" : "-1");
}

std::vector<unsigned char> RingBufferSize(CommandContext& context, const std::string& arguments) {
    const auto kind = KindOfObject(context, arguments);
    if (!kind) return Text("-1 0 0");
    return Text("0 " + std::to_string(RecordSize(*kind)) + " " + std::to_string(kRingBufferRecords));
}

// The object's latest records, raw, as its stream would carry them.
std::vector<unsigned char> RingBuffer(CommandContext& context, const std::string& arguments) {
    const auto index = FindObject(context, arguments);
    const auto kind = index ? StreamKindOf(context.Objects()[*index].type) : std::nullopt;
    if (!kind) return Text("-1");
    const std::size_t size = RecordSize(*kind);
    std::vector<unsigned char> block(size * kRingBufferRecords);
    const int number = RecordNumber(context.Objects(), *index);
    for (int i = 0; i < kRingBufferRecords; ++i) {
        FillRecord(*kind, number, static_cast<std::uint64_t>(i) * 1000, static_cast<std::uint32_t>(i),
                   block.data() + size * static_cast<std::size_t>(i));
    }
    return block;
}

std::vector<unsigned char> SamplingFrequency(CommandContext& context, const std::string& arguments) {
    const auto kind = KindOfObject(context, arguments);
    if (!kind) return Text("-1 0");
    const int frequency = *kind == StreamKind::Video ? 30 : *kind == StreamKind::Event ? 0 : 32000;
    return Text("0 " + std::to_string(frequency));
}

std::vector<unsigned char> ADRange(CommandContext& context, const std::string& arguments) {
    const auto kind = KindOfObject(context, arguments);
    return Text(kind ? "0 -32768 32767" : "-1 0 0");
}

std::vector<unsigned char> Feature(CommandContext& context, const std::string& arguments) {
    const auto words = SplitWords(arguments);
    if (words.empty()) return Text("-1 UnknownFeature");
    const auto found = context.Features().find(words[0]);
    if (found == context.Features().end()) return Text("-1 UnknownFeature");
    return Text("0 " + found->second);
}

struct CommandRow {
    std::string_view word;
    Handler handler;
};

constexpr std::array<CommandRow, 12> kCommands{{
    {"-GetNextAvailablePortNumber", NextPort},
    {"-GetApplicationName", ApplicationName},
    {"-RequestGalderaObjects", ObjectNames},
    {"-RequestGalderaTypes", ObjectTypes},
    {"-CreateStream", CreateStream},
    {"-OpenStream", OpenStream},
    {"-CloseStream", CloseStream},
    {"-RequestRingBufferSize", RingBufferSize},
    {"-RequestRingBuffer", RingBuffer},
    {"-RequestSamplingFrequency", SamplingFrequency},
    {"-RequestADRange", ADRange},
    {"-RequestFeature", Feature},
}};

}  // namespace

std::string JoinItems(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) {
        if (!joined.empty()) joined += ' ';
        const bool needsQuotes = item.empty() || item.find_first_of(kBlanks) != std::string::npos;
        joined += needsQuotes ? '"' + item + '"' : item;
    }
    return joined;
}

std::vector<unsigned char> AnswerCommand(CommandContext& context, const std::string& command) {
    // The runner's event command starts with a blank; the word is what follows it.
    const auto start = command.find_first_not_of(kBlanks);
    if (start == std::string::npos) return Text("0");
    const auto end = command.find_first_of(kBlanks, start);
    const std::string word = command.substr(start, end - start);
    const std::string arguments = end == std::string::npos ? std::string() : command.substr(end + 1);
    for (const CommandRow& row : kCommands) {
        if (row.word == word) return row.handler(context, arguments);
    }
    // Events, digital outputs, names, log messages, presets and unknown commands succeed quietly.
    return Text("0");
}

}  // namespace galdera
