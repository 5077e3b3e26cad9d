#include "cmdfile/FormatCmdLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <sys/stat.h>

#include "cmdfile/TextTools.h"

namespace cmdfile {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

using text::IsBlank;
using text::SplitWords;

// Reads a number the way atoi does, but wrapping on overflow instead of leaving it undefined.
std::int32_t ReadAtoi(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
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

std::string FormatCmdLine::Stop::Describe() const {
    switch (reason) {
        case StopReason::None: return "reading goes on";
        case StopReason::NoInput: return "no file is open";
        case StopReason::EndOfInput: return "the whole file was read";
        case StopReason::ReadError: return "the file could not be read further (" + detail + ")";
        case StopReason::LineTooLong:
            return "the line is longer than " + std::to_string(kMaxLineLength) + " characters";
        case StopReason::Malformed: return "the line begins with neither -, %, # nor //";
        case StopReason::StrayCarriageReturn:
            return "the line begins with a carriage return that is not followed by a line feed";
        case StopReason::TooFewWords: return "the variable line has fewer than three words";
        case StopReason::UnknownOperator:
            return "the variable line's operator is none of =, +=, -=, *= and /=";
        case StopReason::UndefinedVariable: return "the variable " + detail + " is not defined";
        case StopReason::DivisionByZero: return "the variable line divides by zero";
        case StopReason::QuotientOverflow: return "the variable line's quotient does not fit in 32 bits";
        case StopReason::SubstitutionTooLong:
            return "variables make the line longer than " + std::to_string(kMaxSubstitutedLength) +
                   " characters";
        case StopReason::SubstitutionEndless: return "variables are replaced in the line without end";
    }
    return {};
}

void FormatCmdLine::SetDelivery(LineKind kind, bool on) {
    mDelivery[static_cast<int>(kind)] = on;
}

bool FormatCmdLine::Delivers(LineKind kind) const {
    return mDelivery[static_cast<int>(kind)];
}

void FormatCmdLine::Reset() {
    mFile.reset();
    mOpen = false;
    mVariables.clear();
    mBuffer.clear();
    mBufferPos = mBufferEnd = 0;
    mBytesBeforeBuffer = mInputBytes = 0;
    mAtEnd = false;
    mReadErrno = 0;
    mLinesRead = 0;
    mStop = Stop{};
    mOpenError.clear();
}

int FormatCmdLine::OpenFile(const std::string& path) {
    Reset();
    mFile.reset(std::fopen(path.c_str(), "rb"));
    struct stat info {};
    int error = 0;
    if (!mFile || ::fstat(::fileno(mFile.get()), &info) != 0) {
        error = errno;
    } else if (S_ISDIR(info.st_mode)) {
        // A directory opens like a file on some systems but holds no lines.
        error = EISDIR;
    }
    if (error != 0) {
        mFile.reset();
        mOpenError = std::strerror(error);
        return -1;
    }
    mInputBytes = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    mBuffer.resize(kReadChunk);
    mOpen = true;
    mStop.reason = StopReason::None;
    return 0;
}

int FormatCmdLine::OpenText(std::string_view text) {
    Reset();
    mBuffer.assign(text.begin(), text.end());
    mBufferEnd = mBuffer.size();
    mInputBytes = text.size();
    // The whole text is in the buffer: there is nothing more to fetch.
    mAtEnd = true;
    mOpen = true;
    mStop.reason = StopReason::None;
    return 0;
}

bool FormatCmdLine::FillBuffer() {
    if (mAtEnd || !mFile) return false;
    mBytesBeforeBuffer += mBufferEnd;
    mBufferPos = 0;
    mBufferEnd = std::fread(mBuffer.data(), 1, mBuffer.size(), mFile.get());
    if (mBufferEnd == 0) {
        mAtEnd = true;
        if (std::ferror(mFile.get())) mReadErrno = errno != 0 ? errno : EIO;
    }
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
        if (line.size() + take > kMaxLineLength + 1) {
            ++mLinesRead;
            return ReadResult::TooLong;
        }
        line.append(start, take);
        mBufferPos += take;
        if (feed) {
            ++mBufferPos;
            ++mLinesRead;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line.size() > kMaxLineLength ? ReadResult::TooLong : ReadResult::Line;
        }
    }
    // A failed read ends the line being read as well: what came of it is not trusted.
    if (mReadErrno != 0) {
        ++mLinesRead;
        return ReadResult::Error;
    }
    if (!gotAny) return ReadResult::End;
    ++mLinesRead;
    return line.size() > kMaxLineLength ? ReadResult::TooLong : ReadResult::Line;
}

int FormatCmdLine::GetNextLine(std::string& line) {
    if (!mOpen || mStop.reason != StopReason::None) return -1;
    for (;;) {
        switch (ReadPhysicalLine(mPhysical)) {
            case ReadResult::Line: break;
            case ReadResult::End: return End(StopReason::EndOfInput);
            case ReadResult::TooLong: return End(StopReason::LineTooLong);
            case ReadResult::Error: return End(StopReason::ReadError, std::strerror(mReadErrno));
        }
        const std::optional<LineKind> kind = Classify(mPhysical);
        if (!kind) {
            const std::size_t first = mPhysical.find_first_not_of(" \t");
            return End(mPhysical[first] == '\r' ? StopReason::StrayCarriageReturn : StopReason::Malformed);
        }
        StopReason fault = StopReason::None;
        if (*kind == LineKind::Command) fault = ProcessCommandLine(mPhysical);
        if (*kind == LineKind::Variable) fault = ProcessVariableLine(mPhysical);
        if (fault != StopReason::None) return End(fault, std::move(mUndefinedName));
        if (Delivers(*kind)) {
            line.assign(mPhysical);
            return 0;
        }
    }
}

int FormatCmdLine::End(StopReason reason, std::string detail) {
    mStop.reason = reason;
    mStop.line = mLinesRead;
    mStop.detail = std::move(detail);
    // Reading never resumes after it ended, not even in the middle of an overlong line.
    mAtEnd = true;
    mBytesBeforeBuffer += mBufferPos;
    mBufferPos = mBufferEnd = 0;
    return -1;
}

FormatCmdLine::StopReason FormatCmdLine::ProcessCommandLine(std::string& line) const {
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
            if (line.size() > kMaxSubstitutedLength) return StopReason::SubstitutionTooLong;
            if (++replacements > kMaxSubstitutedLength) return StopReason::SubstitutionEndless;
            from = holdsOwnName ? found + value.size() : found - std::min(found, name.size() - 1);
        }
    }
    return StopReason::None;
}

FormatCmdLine::StopReason FormatCmdLine::ProcessVariableLine(const std::string& line) {
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.size() < 3) return StopReason::TooFewWords;
    const std::string_view name = words[0];
    const std::string_view op = words[1];
    std::string_view value = words[2];

    if (!IsOperator(op)) return StopReason::UnknownOperator;

    auto find = [this](std::string_view wanted) -> std::string* {
        for (auto& [n, v] : mVariables) {
            if (n == wanted) return &v;
        }
        return nullptr;
    };

    if (value.front() == '%') {
        const std::string* referenced = find(value);
        if (!referenced) {
            mUndefinedName = value;
            return StopReason::UndefinedVariable;
        }
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
        return StopReason::None;
    }
    if (!current) {
        mUndefinedName = name;
        return StopReason::UndefinedVariable;
    }
    const std::int32_t given = ReadAtoi(resolved);
    if (op[0] == '/' && given == 0) return StopReason::DivisionByZero;
    const std::optional<std::int32_t> result = Combine(op[0], ReadAtoi(*current), given);
    if (!result) return StopReason::QuotientOverflow;
    *current = std::to_string(*result);
    return StopReason::None;
}

}  // namespace cmdfile
