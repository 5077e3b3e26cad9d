#include "cmdfile/FormatCmdLine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace cmdfile {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && IsWhite(line[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !IsWhite(line[pos])) ++pos;
        if (pos > start) words.push_back(line.substr(start, pos - start));
    }
    return words;
}

// Reads a number the way atoi does, but wrapping on overflow instead of leaving it undefined.
std::int32_t ReadAtoi(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsWhite(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    std::uint32_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10u + static_cast<std::uint32_t>(text[pos] - '0');
    }
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// The operators of a variable line; '=' assigns, the others compute.
constexpr std::string_view kOperators[] = {"=", "+=", "-=", "*=", "/="};

bool IsOperator(std::string_view word) {
    for (const std::string_view op : kOperators) {
        if (word == op) return true;
    }
    return false;
}

// The arithmetic of the compound operators, wrapping modulo 2^32; nullopt where the
// quotient is undefined (division by zero, smallest value by -1).
std::optional<std::int32_t> Combine(char op, std::int32_t current, std::int32_t given) {
    const auto a = static_cast<std::uint32_t>(current);
    const auto b = static_cast<std::uint32_t>(given);
    switch (op) {
        case '+': return static_cast<std::int32_t>(a + b);
        case '-': return static_cast<std::int32_t>(a - b);
        case '*': return static_cast<std::int32_t>(a * b);
        case '/':
            if (given == 0) return std::nullopt;
            if (current == std::numeric_limits<std::int32_t>::min() && given == -1) return std::nullopt;
            return current / given;
        default: return std::nullopt;
    }
}

// The kind of a line by its first character other than a space or a tab; nullopt for a
// malformed line.
std::optional<FormatCmdLine::LineKind> Classify(const std::string& line) {
    std::size_t pos = 0;
    while (pos < line.size() && IsSpaceOrTab(line[pos])) ++pos;
    if (pos == line.size()) return FormatCmdLine::LineKind::Blank;
    switch (line[pos]) {
        case '-': return FormatCmdLine::LineKind::Command;
        case '%': return FormatCmdLine::LineKind::Variable;
        case '#': return FormatCmdLine::LineKind::Comment;
        case '/':
            if (pos + 1 < line.size() && line[pos + 1] == '/') return FormatCmdLine::LineKind::Comment;
            return std::nullopt;
        default: return std::nullopt;
    }
}

}  // namespace

FormatCmdLine::FormatCmdLine() = default;
FormatCmdLine::~FormatCmdLine() = default;

void FormatCmdLine::SetDelivery(LineKind kind, bool on) {
    mDelivery[static_cast<int>(kind)] = on;
}

bool FormatCmdLine::Delivers(LineKind kind) const {
    return mDelivery[static_cast<int>(kind)];
}

int FormatCmdLine::OpenFile(const std::string& path) {
    mFile.reset();
    mVariables.clear();
    mBufferPos = mBufferEnd = 0;
    mAtEnd = false;
    mFile.reset(std::fopen(path.c_str(), "rb"));
    if (!mFile) return -1;
    mBuffer.resize(kReadChunk);
    return 0;
}

bool FormatCmdLine::FillBuffer() {
    if (mAtEnd || !mFile) return false;
    mBufferPos = 0;
    mBufferEnd = std::fread(mBuffer.data(), 1, mBuffer.size(), mFile.get());
    if (mBufferEnd == 0) mAtEnd = true;  // end of file and read errors alike
    return mBufferEnd > 0;
}

FormatCmdLine::ReadResult FormatCmdLine::ReadPhysicalLine(std::string& line) {
    line.clear();
    bool gotAny = false;
    for (;;) {
        if (mBufferPos == mBufferEnd && !FillBuffer()) break;
        gotAny = true;
        const char* start = mBuffer.data() + mBufferPos;
        const std::size_t available = mBufferEnd - mBufferPos;
        const auto* feed = static_cast<const char*>(std::memchr(start, '\n', available));
        const std::size_t take = feed ? static_cast<std::size_t>(feed - start) : available;
        // One more than the limit is kept so that a CR before the line feed can still be
        // dropped from a line of exactly the limit.
        if (line.size() + take > kMaxLineLength + 1) return ReadResult::TooLong;
        line.append(start, take);
        mBufferPos += take;
        if (feed) {
            ++mBufferPos;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line.size() > kMaxLineLength ? ReadResult::TooLong : ReadResult::Line;
        }
    }
    if (!gotAny) return ReadResult::End;
    return line.size() > kMaxLineLength ? ReadResult::TooLong : ReadResult::Line;
}

int FormatCmdLine::GetNextLine(std::string& line) {
    if (!mFile) return -1;
    std::string physical;
    for (;;) {
        if (ReadPhysicalLine(physical) != ReadResult::Line) return Stop();
        const std::optional<LineKind> kind = Classify(physical);
        if (!kind) return Stop();
        if (*kind == LineKind::Command && !ProcessCommandLine(physical)) return Stop();
        if (*kind == LineKind::Variable && !ProcessVariableLine(physical)) return Stop();
        if (Delivers(*kind)) {
            line = std::move(physical);
            return 0;
        }
    }
}

int FormatCmdLine::Stop() {
    // Reading never resumes after a fault, not even in the middle of an overlong line.
    mAtEnd = true;
    mBufferPos = mBufferEnd = 0;
    return -1;
}

bool FormatCmdLine::ProcessCommandLine(std::string& line) const {
    if (const auto slashes = line.find("//"); slashes != std::string::npos) line.resize(slashes);
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);

    for (const auto& [name, value] : mVariables) {
        // After a replacement the search starts again where a new occurrence could begin:
        // just before the inserted text, whose ends may join the text around them into the
        // name. A value holding its own name would be found again in each inserted copy
        // without end, so for such a value the search resumes behind the insertion.
        const bool holdsOwnName = value.find(name) != std::string::npos;
        std::size_t from = 0;
        std::size_t replacements = 0;
        for (std::size_t found = line.find(name); found != std::string::npos; found = line.find(name, from)) {
            line.replace(found, name.size(), value);
            if (line.size() > kMaxSubstitutedLength || ++replacements > kMaxSubstitutedLength) return false;
            from = holdsOwnName ? found + value.size() : found - std::min(found, name.size() - 1);
        }
    }
    return true;
}

bool FormatCmdLine::ProcessVariableLine(const std::string& line) {
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.size() < 3) return false;
    const std::string_view name = words[0];
    const std::string_view op = words[1];
    std::string_view value = words[2];

    if (!IsOperator(op)) return false;

    auto find = [this](std::string_view wanted) -> std::string* {
        for (auto& [n, v] : mVariables) {
            if (n == wanted) return &v;
        }
        return nullptr;
    };

    if (value.front() == '%') {
        const std::string* referenced = find(value);
        if (!referenced) return false;
        value = *referenced;
    }
    // Copied before the table may grow, which would invalidate a view into it.
    const std::string resolved(value);

    std::string* current = find(name);
    if (op == "=") {
        if (current) {
            *current = resolved;
        } else {
            mVariables.emplace_back(std::string(name), resolved);
        }
        return true;
    }
    if (!current) return false;
    const std::optional<std::int32_t> result = Combine(op[0], ReadAtoi(*current), ReadAtoi(resolved));
    if (!result) return false;
    *current = std::to_string(*result);
    return true;
}

}  // namespace cmdfile
